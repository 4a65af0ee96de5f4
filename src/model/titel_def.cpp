#include "model/titel_def.h"

namespace vqs {
namespace {

// One pass; a name without those characters is returned without a copy (this runs per tick,
// and per title when a definitions file loads). The characters are all ASCII.
QString replaceAll(const QString& text, QStringView characters) {
    bool replaced[0x80] = {};
    for (QChar c : characters)
        if (c.unicode() < 0x80) replaced[c.unicode()] = true;
    for (char16_t c = 0; c < 0x20; ++c) replaced[c] = true;
    replaced[0x7F] = true;
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        if (c < 0x80 && replaced[c]) out[i] = QLatin1Char('-');
    }
    return out;
}

}  // namespace

QString DateinameBereinigen(const QString& name) { return replaceAll(name, u"/\\:*?\"<>|"); }

QString OrdnerNameBereinigen(const QString& name) {
    QString folder = replaceAll(name, u"()[]{}/\\:*?'\"<>|");
    bool onlyDots = !folder.isEmpty() && folder.front() == u'.' &&
                    folder.count(QLatin1Char('.')) == folder.size();
    return onlyDots ? QString(folder.size(), QLatin1Char('-')) : folder;
}

QString ordnerAusEingabe(const QString& typed) { return OrdnerNameBereinigen(typed.trimmed()); }

TaggedValue TitelDef::toTagged() const {
    std::vector<TaggedValue> items;
    items.reserve(9);
    items.push_back(TaggedValue::text(RT_WKN));
    items.push_back(TaggedValue::text(WKN));
    items.push_back(TaggedValue::text(Name));
    items.push_back(TaggedValue::text(Ordner));
    items.push_back(TaggedValue::text(RT_Boerse));
    items.push_back(TaggedValue::boolean(Aktiv));
    items.push_back(TaggedValue::boolean(UseBidAsk));
    items.push_back(TaggedValue());
    items.push_back(TaggedValue::boolean(NeueNamen));
    return TaggedValue::list(std::move(items), 0);
}

void TitelDef::writeTagged(QByteArray& out) const {
    writeTaggedListHeader(out, 9, 0);
    for (const QString* text : {&RT_WKN, &WKN, &Name, &Ordner, &RT_Boerse})
        writeTaggedText(out, *text);
    writeTaggedBoolean(out, Aktiv);
    writeTaggedBoolean(out, UseBidAsk);
    writeTaggedEmpty(out);
    writeTaggedBoolean(out, NeueNamen);
}

std::optional<TitelDef> TitelDef::fromTagged(const TaggedValue& value) {
    if (!value.isList()) return std::nullopt;
    return fromPositions(value.items().data(), value.items().size());
}

std::optional<TitelDef> TitelDef::fromPositions(const TaggedValue* items, size_t count) {
    if (count < 5) return std::nullopt;
    auto at = [&](size_t i) -> const TaggedValue& {
        static const TaggedValue empty;
        return i < count ? items[i] : empty;
    };
    TitelDef def;
    def.RT_WKN = at(0).toText();
    def.WKN = at(1).toText();
    def.Name = at(2).toText();
    // A folder from the file must never lead outside the data root.
    def.Ordner = OrdnerNameBereinigen(at(3).toText());
    def.RT_Boerse = at(4).toText();
    def.Aktiv = at(5).toBool();
    def.UseBidAsk = at(6).toBool();
    def.NeueNamen = at(8).toBool();
    return def;
}

}  // namespace vqs
