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
    const auto& items = value.items();
    Positions p;
    p.count = items.size();
    for (size_t i = 0; i < p.texts.size() && i < items.size(); ++i) p.texts[i] = items[i].toText();
    p.aktiv = items.size() > 5 && items[5].toBool();
    p.useBidAsk = items.size() > 6 && items[6].toBool();
    p.neueNamen = items.size() > 8 && items[8].toBool();
    return fromPositions(std::move(p));
}

std::optional<TitelDef> TitelDef::fromPositions(Positions&& p) {
    if (p.count < 5) return std::nullopt;
    TitelDef def;
    def.RT_WKN = std::move(p.texts[0]);
    def.WKN = std::move(p.texts[1]);
    def.Name = std::move(p.texts[2]);
    // A folder from the file must never lead outside the data root.
    def.Ordner = OrdnerNameBereinigen(p.texts[3]);
    def.RT_Boerse = std::move(p.texts[4]);
    def.Aktiv = p.aktiv;
    def.UseBidAsk = p.useBidAsk;
    def.NeueNamen = p.neueNamen;
    return def;
}

}  // namespace vqs
