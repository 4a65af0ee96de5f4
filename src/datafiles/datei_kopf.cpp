#include "datafiles/datei_kopf.h"

#include "common/cp1252.h"
#include "datafiles/naming.h"

#include <QtEndian>

#include <cstring>

namespace vqs {

QString DateiKopf::field(KopfFeld f) const {
    return decodeCp1252(QByteArrayView(bytes.data() + f.offset, f.width));
}

QString DateiKopf::trimmedField(KopfFeld f) const {
    QString s = field(f);
    qsizetype start = 0, end = s.size();
    auto pad = [](QChar c) { return c == u' ' || c == QChar(0); };
    while (start < end && pad(s[start])) ++start;
    while (end > start && pad(s[end - 1])) --end;
    return s.mid(start, end - start);
}

void DateiKopf::setField(KopfFeld f, const QString& text) {
    writeCp1252Field(bytes.data() + f.offset, f.width, text);
}

std::int16_t DateiKopf::flag() const {
    return qFromLittleEndian<std::int16_t>(bytes.data() + kopf::kFlag.offset);
}

bool DateiKopf::hasKennung() const {
    return std::memcmp(bytes.data(), kKennung, kopf::kKennung.width) == 0;
}

bool DateiKopf::hasLongFields() const {
    return std::memcmp(bytes.data() + kopf::kLangFelder.offset, "Ja", 2) == 0;
}

QString DateiKopf::displayName() const {
    return trimmedField(hasLongFields() ? kopf::kTitelnameLang : kopf::kTitelname);
}

QString DateiKopf::displayCode() const {
    return trimmedField(hasLongFields() ? kopf::kKurzcodeLang : kopf::kKurzcode);
}

KopfTexte kopfTexte(const TitelDef& def, Kursart kind) {
    KopfTexte t;
    t.name =
        def.RT_Boerse.isEmpty() ? def.Name : def.Name + QStringLiteral(" (") + def.RT_Boerse + u')';
    t.code = def.WKN;
    t.beschreibung =
        def.Name + QStringLiteral(" (") + def.WKN + QStringLiteral(", ") + def.RT_Boerse + u')';
    const QString level = QString::number(depthLevel(kind));
    if (isBidDepth(kind)) {
        t.name += QStringLiteral(", -GMT") + level;
        t.code += QStringLiteral("-GMT") + level;
        t.beschreibung += QStringLiteral(", Geld Markttiefe ") + level;
    } else if (isAskDepth(kind)) {
        t.name += QStringLiteral(", -BMT") + level;
        t.code += QStringLiteral("-BMT") + level;
        t.beschreibung += QStringLiteral(", Brief Markttiefe ") + level;
    } else if (kind == kGeld) {
        t.name += QStringLiteral(", Geld");
        t.code += QStringLiteral("-G");
        t.beschreibung += QStringLiteral(", Geld");
    } else if (kind == kBrief) {
        t.name += QStringLiteral(", Brief");
        t.code += QStringLiteral("-B");
        t.beschreibung += QStringLiteral(", Brief");
    }
    t.code = DateinameBereinigen(t.code + QStringLiteral("-BRAVOL-") + def.RT_Boerse);
    return t;
}

DateiKopf buildHeader(const TitelDef& def, Kursart kind) {
    const KopfTexte t = kopfTexte(def, kind);
    DateiKopf k;
    std::memcpy(k.bytes.data(), kKennung, kopf::kKennung.width);
    qToLittleEndian<std::int16_t>(-1, k.bytes.data() + kopf::kFlag.offset);
    k.setField(kopf::kTitelname, t.name);
    k.setField(kopf::kKurzcode, t.code);
    k.setField(kopf::kBeschreibung, t.beschreibung);
    k.setField(kopf::kLangFelder, QStringLiteral("Ja"));
    k.setField(kopf::kTitelnameLang, t.name);
    k.setField(kopf::kKurzcodeLang, t.code);
    completeHeader(k, kind, def);
    return k;
}

void completeHeader(DateiKopf& kopf, Kursart kind, const TitelDef& def) {
    kopf.setField(kopf::kDatenquelle, QStringLiteral("BRAVOLT"));
    kopf.setField(kopf::kTitelKey, def.id().text());
    const QString label = kursartLabel(kind);
    if (!label.isEmpty()) kopf.setField(kopf::kKursart, label);
}

bool isDataFileStart(qint64 length, const char* first36Bytes) {
    return length >= kHeaderSize && std::memcmp(first36Bytes, kKennung, kopf::kKennung.width) == 0;
}

void encodeKursSatz(const KursSatz& satz, char* out16) {
    std::uint64_t zeit;
    std::uint32_t kurs, volume;
    std::memcpy(&zeit, &satz.Zeit, 8);
    std::memcpy(&kurs, &satz.Kurs, 4);
    std::memcpy(&volume, &satz.Volume, 4);
    qToLittleEndian(zeit, out16);
    qToLittleEndian(kurs, out16 + 8);
    qToLittleEndian(volume, out16 + 12);
}

KursSatz decodeKursSatz(const char* in16) {
    auto zeit = qFromLittleEndian<std::uint64_t>(in16);
    auto kurs = qFromLittleEndian<std::uint32_t>(in16 + 8);
    auto volume = qFromLittleEndian<std::uint32_t>(in16 + 12);
    KursSatz s;
    std::memcpy(&s.Zeit, &zeit, 8);
    std::memcpy(&s.Kurs, &kurs, 4);
    std::memcpy(&s.Volume, &volume, 4);
    return s;
}

}  // namespace vqs
