#pragma once

#include <QHash>
#include <QString>

#include <iterator>
#include <list>
#include <utility>

namespace vqs {

// A key that hashes and compares without regard to case, without making a folded copy (a
// lookup runs for every recorded tick).
struct CaseInsensitiveKey {
    QString text;
    friend bool operator==(const CaseInsensitiveKey& a, const CaseInsensitiveKey& b) {
        return a.text.compare(b.text, Qt::CaseInsensitive) == 0;
    }
};

inline size_t qHash(const CaseInsensitiveKey& key, size_t seed = 0) noexcept {
    size_t h = seed ^ 0xcbf29ce484222325ULL;
    const QString& t = key.text;
    for (qsizetype i = 0; i < t.size(); ++i) {
        char32_t c = t[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(t[i].unicode(), t[i + 1].unicode());
            ++i;
        }
        h = (h ^ QChar::toCaseFolded(c)) * 0x100000001b3ULL;
    }
    return h;
}

// An ordered collection whose keys compare without regard to case: lookup, append,
// insert-before, remove and replace-in-place, all without disturbing the order of the rest.
template <typename T>
class KeyedCollection {
public:
    struct Entry {
        QString key;
        T value;
    };
    using iterator = typename std::list<Entry>::iterator;
    using const_iterator = typename std::list<Entry>::const_iterator;

    KeyedCollection() = default;
    KeyedCollection(KeyedCollection&& other) noexcept = default;
    KeyedCollection& operator=(KeyedCollection&& other) noexcept = default;
    KeyedCollection(const KeyedCollection& other) { *this = other; }
    KeyedCollection& operator=(const KeyedCollection& other) {
        if (this != &other) {
            clear();
            for (const Entry& e : other.entries_) add(e.key, e.value);
        }
        return *this;
    }

    bool contains(const QString& key) const { return index_.contains({key}); }

    T* find(const QString& key) {
        auto it = index_.constFind({key});
        return it == index_.cend() ? nullptr : &(*it)->value;
    }
    const T* find(const QString& key) const {
        auto it = index_.constFind({key});
        return it == index_.cend() ? nullptr : &(*it)->value;
    }

    // Appends; a key already present is refused (returns false), as the original collection does.
    bool add(const QString& key, T value) {
        return insertAt(entries_.end(), key, std::move(value));
    }

    // Inserts before the entry under beforeKey; false when beforeKey is unknown or key is taken.
    bool addBefore(const QString& beforeKey, const QString& key, T value) {
        auto it = index_.constFind({beforeKey});
        if (it == index_.cend()) return false;
        return insertAt(*it, key, std::move(value));
    }

    bool remove(const QString& key) {
        auto it = index_.find({key});
        if (it == index_.end()) return false;
        entries_.erase(*it);
        index_.erase(it);
        return true;
    }

    // Replaces the value under key at its place in the order; false when the key is unknown.
    bool replace(const QString& key, T value) {
        T* slot = find(key);
        if (!slot) return false;
        *slot = std::move(value);
        return true;
    }

    void clear() {
        index_.clear();
        entries_.clear();
    }

    int size() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    // Position of the key in the order (0-based), -1 when absent. Linear; for tests and dialogs.
    int indexOf(const QString& key) const {
        auto it = index_.constFind({key});
        if (it == index_.cend()) return -1;
        return static_cast<int>(std::distance(entries_.cbegin(), const_iterator(*it)));
    }

private:
    bool insertAt(iterator pos, const QString& key, T value) {
        if (index_.contains({key})) return false;
        auto it = entries_.insert(pos, Entry{key, std::move(value)});
        index_.insert({key}, it);
        return true;
    }

    std::list<Entry> entries_;
    QHash<CaseInsensitiveKey, iterator> index_;
};

}  // namespace vqs
