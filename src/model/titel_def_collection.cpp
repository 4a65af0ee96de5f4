#include "model/titel_def_collection.h"

#include "common/error.h"

#include <cstring>
#include <limits>

namespace vqs {
namespace {

// A text in the pool: its length and width (bit 0: UTF-16 rather than Latin-1) as a base-128
// number, then its characters.
struct PoolText {
    const char* data;
    std::size_t length;  // in characters
    bool wide;
    std::size_t bytes() const { return wide ? 2 * length : length; }
};

PoolText readText(const char*& p) {
    std::uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<std::uint8_t>(*p++);
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
    }
    const PoolText text{p, static_cast<std::size_t>(v >> 1), (v & 1) != 0};
    p += text.bytes();
    return text;
}

QString toQString(const PoolText& t) {
    if (!t.wide) return QString::fromLatin1(t.data, static_cast<qsizetype>(t.length));
    QString s(static_cast<qsizetype>(t.length), Qt::Uninitialized);
    std::memcpy(s.data(), t.data, t.bytes());
    return s;
}

template <typename Buffer>
void appendText(Buffer& into, const PoolText& t) {
    const qsizetype at = into.size();
    into.resize(at + static_cast<qsizetype>(t.length));
    if (t.wide) {
        std::memcpy(into.data() + at, t.data, t.bytes());
    } else {
        for (std::size_t i = 0; i < t.length; ++i)
            into[at + static_cast<qsizetype>(i)] = static_cast<std::uint8_t>(t.data[i]);
    }
}

bool isLatin1(QStringView text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    return true;
}

constexpr std::size_t kMaxVarint = 10;

std::size_t poolBytes(QStringView text) {
    return kMaxVarint + 2 * static_cast<std::size_t>(text.size());
}

void appendPoolText(std::vector<char>& pool, QStringView text) {
    const bool wide = !isLatin1(text);
    std::uint64_t v = (static_cast<std::uint64_t>(text.size()) << 1) | (wide ? 1 : 0);
    do {
        const auto b = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
        pool.push_back(static_cast<char>(v ? (b | 0x80) : b));
    } while (v);
    const std::size_t at = pool.size();
    if (wide) {
        pool.resize(at + 2 * static_cast<std::size_t>(text.size()));
        std::memcpy(pool.data() + at, text.utf16(), 2 * static_cast<std::size_t>(text.size()));
    } else {
        pool.resize(at + static_cast<std::size_t>(text.size()));
        for (qsizetype i = 0; i < text.size(); ++i)
            pool[at + static_cast<std::size_t>(i)] = static_cast<char>(text[i].unicode());
    }
}

// The key's hash as the title collections compare keys: by case-folded code points.
std::uint32_t keyHash(QStringView key) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (qsizetype i = 0; i < key.size(); ++i) {
        char32_t c = key[i].unicode();
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
        } else {
            if (QChar::isHighSurrogate(c) && i + 1 < key.size() && key[i + 1].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(key[i].unicode(), key[i + 1].unicode());
                ++i;
            }
            c = QChar::toCaseFolded(c);
        }
        h = (h ^ c) * 0x100000001b3ULL;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

template <typename Buffer>
void appendView(Buffer& into, QStringView text) {
    if (text.isEmpty()) return;  // a null text has no characters to copy
    const qsizetype at = into.size();
    into.resize(at + text.size());
    std::memcpy(into.data() + at, text.utf16(), 2 * static_cast<std::size_t>(text.size()));
}

template <typename Buffer>
QStringView viewOf(const Buffer& buffer) {
    return QStringView(buffer.data(), buffer.size());
}

}  // namespace

std::optional<TitelDef> TitelDefCollection::find(const QString& key) const {
    const std::uint32_t row = findRow(key);
    if (row == kNoRow) return std::nullopt;
    return definition(row);
}

TitelDef TitelDefCollection::definition(std::size_t index) const {
    const Row& row = rows_[index];
    const char* p = pool_.data() + row.text;
    TitelDef def;
    def.RT_WKN = toQString(readText(p));
    def.WKN = (row.flags & kWknSameAsCode) ? def.RT_WKN : toQString(readText(p));
    def.Name = toQString(readText(p));
    def.Ordner = strings_[row.folder];
    def.RT_Boerse = strings_[row.exchange];
    def.Aktiv = row.flags & kAktiv;
    def.UseBidAsk = row.flags & kUseBidAsk;
    def.NeueNamen = row.flags & kNeueNamen;
    return def;
}

std::size_t TitelDefCollection::nextLive(std::size_t row) const {
    while (row < rows_.size() && (rows_[row].flags & kRemoved)) ++row;
    return row;
}

void TitelDefCollection::rowKey(const Row& row, KeyBuffer& into) const {
    into.clear();
    const char* p = pool_.data() + row.text;
    appendText(into, readText(p));
    into.append(u'@');
    appendView(into, strings_[row.exchange]);
}

std::uint32_t TitelDefCollection::findSlot(QStringView key, std::uint32_t hash) const {
    if (slots_.empty()) return kNoRow;
    const std::size_t mask = slots_.size() - 1;
    KeyBuffer rowText;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.row == kNoRow) return kNoRow;
        if (slot.hash != hash) continue;
        rowKey(rows_[slot.row], rowText);
        if (viewOf(rowText).compare(key, Qt::CaseInsensitive) == 0)
            return static_cast<std::uint32_t>(i);
    }
}

std::uint32_t TitelDefCollection::findRow(QStringView key) const {
    const std::uint32_t slot = findSlot(key, keyHash(key));
    return slot == kNoRow ? kNoRow : slots_[slot].row;
}

std::uint32_t TitelDefCollection::intern(const QString& text) {
    // Definitions added one after the other mostly share their folder and exchange texts
    // (a load hands the same text on): such a text is found without hashing it.
    for (const std::uint32_t recent : recentStrings_)
        if (recent < strings_.size() && strings_[recent].constData() == text.constData() &&
            strings_[recent].size() == text.size())
            return recent;
    const std::uint32_t index = lookUp(text);
    recentStrings_[nextRecent_] = index;
    nextRecent_ = (nextRecent_ + 1) % recentStrings_.size();
    return index;
}

std::uint32_t TitelDefCollection::lookUp(const QString& text) {
    const auto it = stringIndex_.constFind(text);
    if (it != stringIndex_.cend()) return *it;
    const auto index = static_cast<std::uint32_t>(strings_.size());
    strings_.push_back(text);
    stringIndex_.insert(text, index);
    return index;
}

void TitelDefCollection::reservePool(const TitelDef& def) {
    const std::size_t need = poolBytes(def.RT_WKN) + poolBytes(def.WKN) + poolBytes(def.Name);
    constexpr std::size_t kLimit = std::numeric_limits<std::uint32_t>::max();
    if (pool_.size() + need <= kLimit && rows_.size() + 1 < kNoRow) return;
    compact();
    if (pool_.size() + need > kLimit || rows_.size() + 1 >= kNoRow)
        throw VqsError(QStringLiteral("Die Titeldefinitionen passen nicht mehr in den Speicher."));
}

TitelDefCollection::Row TitelDefCollection::makeRow(const TitelDef& def) {
    Row row{};
    row.text = static_cast<std::uint32_t>(pool_.size());
    appendPoolText(pool_, def.RT_WKN);
    const bool same = def.WKN == def.RT_WKN;
    if (!same) appendPoolText(pool_, def.WKN);
    appendPoolText(pool_, def.Name);
    row.folder = intern(def.Ordner);
    row.exchange = intern(def.RT_Boerse);
    row.flags =
        static_cast<std::uint8_t>((def.Aktiv ? kAktiv : 0) | (def.UseBidAsk ? kUseBidAsk : 0) |
                                  (def.NeueNamen ? kNeueNamen : 0) | (same ? kWknSameAsCode : 0));
    return row;
}

std::size_t TitelDefCollection::textBytes(const Row& row) const {
    const char* begin = pool_.data() + row.text;
    const char* p = begin;
    readText(p);
    if (!(row.flags & kWknSameAsCode)) readText(p);
    readText(p);
    return static_cast<std::size_t>(p - begin);
}

bool TitelDefCollection::add(const TitelDef& def) {
    KeyBuffer key;
    appendView(key, def.RT_WKN);
    key.append(u'@');
    appendView(key, def.RT_Boerse);
    const std::uint32_t hash = keyHash(viewOf(key));
    if (findSlot(viewOf(key), hash) != kNoRow) return false;
    reservePool(def);
    rows_.push_back(makeRow(def));
    insertSlot(static_cast<std::uint32_t>(rows_.size() - 1), hash);
    ++live_;
    return true;
}

bool TitelDefCollection::replace(const TitelDef& def, bool toEnd) {
    const QString key = def.id().text();
    if (toEnd) {
        if (!remove(key)) return false;
        add(def);
        return true;
    }
    reservePool(def);  // before the row is looked up: making room moves rows
    const std::uint32_t slot = findSlot(key, keyHash(key));
    if (slot == kNoRow) return false;
    Row& row = rows_[slots_[slot].row];
    const TitelDef before = definition(slots_[slot].row);
    const std::size_t oldBytes = textBytes(row);
    const std::uint32_t oldText = row.text;
    row = makeRow(def);
    if (before.RT_WKN == def.RT_WKN && before.WKN == def.WKN && before.Name == def.Name) {
        pool_.resize(row.text);  // the same texts: the row keeps its own
        row.text = oldText;
    } else {
        wastedBytes_ += oldBytes;
    }
    compactIfWasteful();
    return true;
}

bool TitelDefCollection::remove(const QString& key) {
    const std::uint32_t slot = findSlot(key, keyHash(key));
    if (slot == kNoRow) return false;
    Row& row = rows_[slots_[slot].row];
    eraseSlot(slot);
    wastedBytes_ += textBytes(row);
    row.flags |= kRemoved;
    --live_;
    ++removedRows_;
    compactIfWasteful();
    return true;
}

void TitelDefCollection::clear() { *this = TitelDefCollection(); }

void TitelDefCollection::reserve(std::size_t count, std::size_t textBytes) {
    rows_.reserve(count);
    pool_.reserve(textBytes);
    std::size_t capacity = std::max<std::size_t>(16, slots_.size());
    while (count * 4 > capacity * 3) capacity *= 2;
    if (capacity > slots_.size()) rehash(capacity);
}

std::vector<TitelDef> TitelDefCollection::active() const {
    std::vector<TitelDef> defs;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if ((rows_[i].flags & (kAktiv | kRemoved)) == kAktiv) defs.push_back(definition(i));
    return defs;
}

TitelDefCollection::Count TitelDefCollection::countActive() const {
    Count count;
    for (const Row& row : rows_) {
        if ((row.flags & (kAktiv | kRemoved)) != kAktiv) continue;
        ++count.aktiv;
        if (row.flags & kUseBidAsk) ++count.bidAsk;
    }
    return count;
}

void TitelDefCollection::insertSlot(std::uint32_t row, std::uint32_t hash) {
    // At most three quarters full, so that probes stay short.
    if ((static_cast<std::size_t>(live_) + 1) * 4 > slots_.size() * 3)
        rehash(std::max<std::size_t>(16, slots_.size() * 2));
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].row != kNoRow) i = (i + 1) & mask;
    slots_[i] = {row, hash};
}

void TitelDefCollection::eraseSlot(std::uint32_t slot) {
    // Linear probing without tombstones: later entries of the run move up into the gap unless
    // their home lies cyclically between the gap and where they are.
    const std::size_t mask = slots_.size() - 1;
    std::size_t gap = slot;
    for (std::size_t j = (gap + 1) & mask; slots_[j].row != kNoRow; j = (j + 1) & mask) {
        const std::size_t home = slots_[j].hash & mask;
        const bool stays = gap <= j ? (gap < home && home <= j) : (gap < home || home <= j);
        if (stays) continue;
        slots_[gap] = slots_[j];
        gap = j;
    }
    slots_[gap] = Slot{};
}

void TitelDefCollection::rehash(std::size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    const std::size_t mask = capacity - 1;
    for (const Slot& s : old) {
        if (s.row == kNoRow) continue;
        std::size_t i = s.hash & mask;
        while (slots_[i].row != kNoRow) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void TitelDefCollection::compactIfWasteful() {
    const bool manyRemoved = removedRows_ > 4096 && removedRows_ > static_cast<std::size_t>(live_);
    const bool muchWasted = wastedBytes_ > (1u << 20) && wastedBytes_ > pool_.size() / 2;
    if (manyRemoved || muchWasted) compact();
}

void TitelDefCollection::compact() {
    std::vector<std::uint32_t> moved(rows_.size(), kNoRow);
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(live_));
    std::vector<char> pool;
    pool.reserve(pool_.size() - wastedBytes_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row row = rows_[i];
        if (row.flags & kRemoved) continue;
        const std::size_t bytes = textBytes(row);
        const char* from = pool_.data() + row.text;
        row.text = static_cast<std::uint32_t>(pool.size());
        pool.insert(pool.end(), from, from + bytes);
        moved[i] = static_cast<std::uint32_t>(rows.size());
        rows.push_back(row);
    }
    // A slot's place follows its key's hash, which stays: only the row numbers change.
    for (Slot& slot : slots_)
        if (slot.row != kNoRow) slot.row = moved[slot.row];
    rows_ = std::move(rows);
    pool_ = std::move(pool);
    removedRows_ = 0;
    wastedBytes_ = 0;
}

}  // namespace vqs
