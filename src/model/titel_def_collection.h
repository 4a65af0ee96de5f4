#pragma once

#include "model/titel_def.h"
#include "model/titel_id.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

namespace vqs {

// Every title definition of the run, in order, keyed by the title key ("code@exchange") without
// regard to case. Compact, so that hundreds of thousands of titles fit in little memory: each
// definition is one small row, its code and name lie in a shared pool (a byte a character where
// Latin-1 holds them), each folder and exchange code is held once; a definition is made whole
// (as a TitelDef) only when it is asked for. Changes keep the order of the others; removing or
// changing a definition invalidates iterators.
class TitelDefCollection {
public:
    int size() const { return live_; }
    bool isEmpty() const { return live_ == 0; }
    bool contains(const QString& key) const { return findRow(key) != kNoRow; }
    std::optional<TitelDef> find(const QString& key) const;
    std::optional<TitelDef> find(const TitelId& id) const { return find(id.text()); }

    // Appends; false when the title has a definition already. Throws VqsError when the texts
    // no longer fit (beyond 4 GiB).
    bool add(const TitelDef& def);
    // Puts a changed definition back at its place, or with `toEnd` at the end; false when the
    // title has none.
    bool replace(const TitelDef& def, bool toEnd = false);
    bool remove(const QString& key);
    void clear();
    // Room for `count` definitions whose texts take about `textBytes` (a load knows roughly how
    // many come): no growing on the way.
    void reserve(std::size_t count, std::size_t textBytes);

    // The active definitions, in order, and how many there are (with bid and ask: bidAsk),
    // without making the others whole.
    std::vector<TitelDef> active() const;
    struct Count {
        int aktiv = 0;
        int bidAsk = 0;
    };
    Count countActive() const;

    // Walks the definitions in order, making each whole as it comes.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TitelDef;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = TitelDef;

        Iterator() = default;
        TitelDef operator*() const { return owner_->definition(row_); }
        Iterator& operator++() {
            row_ = owner_->nextLive(row_ + 1);
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.row_ == b.row_; }

    private:
        friend class TitelDefCollection;
        Iterator(const TitelDefCollection* owner, std::size_t row) : owner_(owner), row_(row) {}
        const TitelDefCollection* owner_ = nullptr;
        std::size_t row_ = 0;
    };
    using const_iterator = Iterator;
    const_iterator begin() const { return {this, nextLive(0)}; }
    const_iterator end() const { return {this, rows_.size()}; }

private:
    static constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;
    enum Flag : std::uint8_t {
        kAktiv = 1,
        kUseBidAsk = 2,
        kNeueNamen = 4,
        kWknSameAsCode = 8,  // WKN is not stored: it is RT_WKN
        kRemoved = 16,
    };
    struct Row {
        std::uint32_t text;      // in pool_: RT_WKN, WKN (unless the same), Name
        std::uint32_t folder;    // in strings_
        std::uint32_t exchange;  // in strings_
        std::uint8_t flags;
    };
    struct Slot {
        std::uint32_t row = kNoRow;
        std::uint32_t hash = 0;
    };

    TitelDef definition(std::size_t row) const;
    std::size_t nextLive(std::size_t row) const;
    // The slot of the key whose hash is given; kNoRow when it has none.
    std::uint32_t findSlot(QStringView key, std::uint32_t hash) const;
    std::uint32_t findRow(QStringView key) const;
    // The row's key, on the stack as long as it is short: a look-up allocates nothing.
    using KeyBuffer = QVarLengthArray<char16_t, 128>;
    void rowKey(const Row& row, KeyBuffer& into) const;
    // Room in the pool for the definition's texts; compacts or throws VqsError when there is
    // none. Rows move: call it before a row is looked up.
    void reservePool(const TitelDef& def);
    Row makeRow(const TitelDef& def);
    std::uint32_t intern(const QString& text);
    std::uint32_t lookUp(const QString& text);
    std::size_t textBytes(const Row& row) const;
    void insertSlot(std::uint32_t row, std::uint32_t hash);
    void eraseSlot(std::uint32_t slot);
    void rehash(std::size_t capacity);
    void compactIfWasteful();
    // Drops removed rows and unused texts.
    void compact();

    std::vector<Row> rows_;
    std::vector<char> pool_;
    std::vector<QString> strings_;  // folders and exchange codes, each once
    QHash<QString, std::uint32_t> stringIndex_;
    std::array<std::uint32_t, 2> recentStrings_{kNoRow, kNoRow};  // the folder and exchange
    std::size_t nextRecent_ = 0;
    std::vector<Slot> slots_;  // open addressing by the key's case-folded hash
    int live_ = 0;
    std::size_t removedRows_ = 0;
    std::size_t wastedBytes_ = 0;  // pool bytes of removed rows and replaced texts
};

}  // namespace vqs
