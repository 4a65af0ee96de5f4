#pragma once

#include "common/keyed_collection.h"

#include <QString>

namespace vqs {

// A title's identity: the code under which the broker knows it and the exchange code. Its text
// "code@exchange" keys the title everywhere: its definition, its title object, the rows of the
// title lists, the TitelKey of its data files' headers and the paths of the data-file store.
// Two identities are the same when their texts differ only in case, as the keys of every title
// collection compare.
class TitelId {
public:
    TitelId() = default;
    TitelId(const QString& wkn, const QString& boerse)
        : text_(wkn + QLatin1Char('@') + boerse), wknLength_(wkn.size()) {}

    const QString& text() const { return text_; }
    QStringView wkn() const { return QStringView(text_).first(wknLength_); }
    QStringView boerse() const { return QStringView(text_).sliced(wknLength_ + 1); }
    bool isEmpty() const { return text_.isEmpty(); }

    friend bool operator==(const TitelId& a, const TitelId& b) {
        return CaseInsensitiveKey{a.text_} == CaseInsensitiveKey{b.text_};
    }
    friend size_t qHash(const TitelId& id, size_t seed = 0) noexcept {
        return qHash(CaseInsensitiveKey{id.text_}, seed);
    }

private:
    QString text_;
    qsizetype wknLength_ = 0;
};

}  // namespace vqs
