#include "gui/shell/placement.h"

#include "common/number_text.h"

#include <cmath>
#include <limits>

namespace vqs::placement {
namespace {

const QString kLinks = QStringLiteral("Links");
const QString kOben = QStringLiteral("Oben");
const QString kBreite = QStringLiteral("Breite");
const QString kHoehe = QStringLiteral("Höhe");
const QString kWinState = QStringLiteral("WinState");

QString tradomir() { return SettingsStore::appT(); }

std::optional<float> readSingle(const SettingsStore& store, const QString& section,
                                const QString& key, float current) {
    QString text = store.GetSetting(tradomir(), section, key, localeNumberText(current));
    std::optional<double> v = parseLocaleNumber(text);
    if (!v || std::fabs(*v) > std::numeric_limits<float>::max()) return std::nullopt;
    return static_cast<float>(*v);
}

TwipsRect centred(TwipsRect r, const ScreenMetrics& screen) {
    r.left = (screen.screenWidth - r.width) / 2;
    r.top = (screen.screenHeight - r.height) / 2;
    return r;
}

}  // namespace

void savePlacement(SettingsStore& store, const QString& section, const TwipsRect& rect, int state) {
    if (state == kNormal) {
        store.SaveSetting(tradomir(), section, kLinks, localeNumberText(rect.left));
        store.SaveSetting(tradomir(), section, kOben, localeNumberText(rect.top));
        store.SaveSetting(tradomir(), section, kBreite, localeNumberText(rect.width));
        store.SaveSetting(tradomir(), section, kHoehe, localeNumberText(rect.height));
    }
    store.SaveSetting(tradomir(), section, kWinState, QString::number(state));
}

Placement restorePlacement(const SettingsStore& store, const QString& section, TwipsRect current,
                           int currentState, const ScreenMetrics& screen) {
    Placement p{centred(current, screen), currentState};
    auto left = readSingle(store, section, kLinks, p.rect.left);
    auto top = readSingle(store, section, kOben, p.rect.top);
    auto width = readSingle(store, section, kBreite, p.rect.width);
    auto height = readSingle(store, section, kHoehe, p.rect.height);
    if (left && top && width && height && *width >= 0 && *height >= 0)
        p.rect = TwipsRect{*left, *top, *width, *height};

    const float maxLeft = 0.9f * screen.screenWidth;
    const float maxTop = 0.9f * screen.screenHeight;
    if (p.rect.left > maxLeft) p.rect.left = maxLeft;
    if (p.rect.top > maxTop) p.rect.top = maxTop;

    std::optional<double> state =
        parseLocaleNumber(store.GetSetting(tradomir(), section, kWinState, "0"));
    if (state) {
        auto s = static_cast<int>(std::nearbyint(*state));
        if (s == kNormal || s == kMinimized || s == kMaximized) p.windowState = s;
    }
    return p;
}

TwipsRect restoreMainPlacement(const SettingsStore& store, const QString& section,
                               TwipsRect current, const ScreenMetrics& screen) {
    TwipsRect r = centred(current, screen);
    float deskLeft = 0, deskTop = 0, deskRight = screen.screenWidth,
          deskBottom = screen.screenHeight;
    if (screen.monitorCount > 1) {
        deskLeft = std::round(screen.virtualLeft * screen.twipsPerPixelX);
        deskTop = std::round(screen.virtualTop * screen.twipsPerPixelY);
        deskRight = std::round(screen.virtualWidth * screen.twipsPerPixelX + deskLeft);
        deskBottom = std::round(screen.virtualHeight * screen.twipsPerPixelY + deskTop);
    }
    auto left = readSingle(store, section, kLinks, r.left);
    auto top = readSingle(store, section, kOben, r.top);
    if (left && top) {
        r.left = *left;
        r.top = *top;
    }
    if (r.left + r.width / 2 > deskRight) r.left = deskRight - r.width / 2;
    if (r.top + r.height / 2 > deskBottom) r.top = deskBottom - r.height / 2;
    if (deskLeft - r.width / 2 > r.left) r.left = deskLeft - r.width / 2;
    if (r.top < deskTop) r.top = deskTop;
    return r;
}

void saveColumns(SettingsStore& store, const QString& section, const std::vector<Column>& columns) {
    for (const Column& c : columns) {
        double hundredths = std::trunc(static_cast<double>(c.width) * 100.0);
        if (!std::isfinite(hundredths) || std::fabs(hundredths) > 2147483647.0) continue;
        store.SaveSetting(tradomir(), section, c.key,
                          QString::number(static_cast<qint32>(hundredths)));
    }
}

void restoreColumns(const SettingsStore& store, const QString& section,
                    std::vector<Column>& columns) {
    for (Column& c : columns) {
        QString text = store.GetSetting(tradomir(), section, c.key, QString());
        if (text.isEmpty()) continue;
        std::optional<double> n = parseLocaleNumber(text);
        if (!n || *n < 0 || *n > 2147483647.0) continue;
        double width = std::nearbyint(*n) / 100.0;
        if (width < 1000.0) c.width = static_cast<float>(width);
    }
}

std::optional<TwipsRect> enforceMinimumSize(const TwipsRect& outer, int minWidthPx, int minHeightPx,
                                            const ScreenMetrics& screen) {
    TwipsRect r = outer;
    const float minW = static_cast<float>(minWidthPx) * screen.twipsPerPixelX;
    const float minH = static_cast<float>(minHeightPx) * screen.twipsPerPixelY;
    if (minW > r.width) r.width = minW;
    if (minH > r.height) r.height = minH;
    if (r == outer) return std::nullopt;
    return r;
}

ScaleFactors scaleFactors(float innerWidth, float innerHeight, float& oldWidth, float& oldHeight) {
    ScaleFactors f;
    if (oldWidth > 0) f.fx = innerWidth / oldWidth;
    if (oldHeight > 0) f.fy = innerHeight / oldHeight;
    oldWidth = innerWidth;
    oldHeight = innerHeight;
    return f;
}

}  // namespace vqs::placement
