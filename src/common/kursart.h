#pragma once

#include <QString>

#include <cstdint>

namespace vqs {

// Quote kind: 0 paid, 1 bid, 2 ask; -100 - L ask market depth level L, -200 - L bid depth.
using Kursart = std::int32_t;

inline constexpr Kursart kBezahlt = 0;
inline constexpr Kursart kGeld = 1;
inline constexpr Kursart kBrief = 2;

inline bool isBidDepth(Kursart k) { return k <= -200; }
inline bool isAskDepth(Kursart k) { return k >= -199 && k <= -100; }
inline std::int64_t depthLevel(Kursart k) {
    return isBidDepth(k) ? -200LL - k : (isAskDepth(k) ? -100LL - k : 0);
}

// The header label of the kind ("Bezahlt", "Geld", "Brief"); empty for every other kind.
inline QString kursartLabel(Kursart k) {
    switch (k) {
        case kBezahlt:
            return QStringLiteral("Bezahlt");
        case kGeld:
            return QStringLiteral("Geld");
        case kBrief:
            return QStringLiteral("Brief");
        default:
            return {};
    }
}

}  // namespace vqs
