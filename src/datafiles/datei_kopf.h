#pragma once

#include "common/kursart.h"
#include "model/titel_def.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace vqs {

inline constexpr int kHeaderSize = 856;
inline constexpr int kRecordSize = 16;
inline constexpr char kKennung[] = "PLV Tickarchivar-Datei Version 01.00";

// One field of the header: offset and width in bytes.
struct KopfFeld {
    int offset;
    int width;
};

namespace kopf {
inline constexpr KopfFeld kKennung{0, 36};
inline constexpr KopfFeld kFlag{36, 2};
inline constexpr KopfFeld kTitelname{38, 50};
inline constexpr KopfFeld kKurzcode{88, 18};
inline constexpr KopfFeld kBeschreibung{106, 250};
inline constexpr KopfFeld kLangFelder{356, 2};
inline constexpr KopfFeld kTitelnameLang{358, 130};
inline constexpr KopfFeld kKurzcodeLang{488, 68};
inline constexpr KopfFeld kDatenquelle{556, 10};
inline constexpr KopfFeld kTitelKey{566, 100};
inline constexpr KopfFeld kPflegedatum{666, 8};
inline constexpr KopfFeld kKursart{674, 12};
inline constexpr KopfFeld kReserve1{686, 20};
inline constexpr KopfFeld kReserve2{706, 150};
}  // namespace kopf

// The 856-byte header of a data file, byte for byte as it stands in the file.
struct DateiKopf {
    std::array<char, kHeaderSize> bytes{};  // zero bytes: fields never written

    // The field's text, exactly its width in characters (padding and zero bytes included).
    QString field(KopfFeld f) const;
    // The field's text without surrounding spaces and zero bytes, as readers display it.
    QString trimmedField(KopfFeld f) const;
    void setField(KopfFeld f, const QString& text);  // space-padded, cut at the width
    std::int16_t flag() const;
    bool hasKennung() const;
    bool hasLongFields() const;  // "Ja" in LangFelder
    bool isCompleted() const { return bytes[kopf::kDatenquelle.offset] != 0; }
    // Title text and code as the file selection shows them: the long fields when present.
    QString displayName() const;
    QString displayCode() const;
};

// The three texts of a title and kind, before they are cut to their fields.
struct KopfTexte {
    QString name;
    QString code;  // sanitised, with "-BRAVOL-" and the exchange
    QString beschreibung;
};
KopfTexte kopfTexte(const TitelDef& def, Kursart kind);

// A zeroed header filled for a new file of this title and kind.
DateiKopf buildHeader(const TitelDef& def, Kursart kind);
// Sets Datenquelle, TitelKey and (for kinds 0 to 2) Kursart; upgrades an old header.
void completeHeader(DateiKopf& kopf, Kursart kind, const TitelDef& def);

// A file is a data file when it holds at least the header and starts with the Kennung.
bool isDataFileStart(qint64 length, const char* first36Bytes);

// The records of a file of this length: whole records only.
inline qint64 recordCount(qint64 length) {
    return length < kHeaderSize ? 0 : (length - kHeaderSize) / kRecordSize;
}

// One 16-byte tick record.
struct KursSatz {
    double Zeit = 0;
    float Kurs = 0;
    float Volume = 0;
    friend bool operator==(const KursSatz&, const KursSatz&) = default;
};
void encodeKursSatz(const KursSatz& satz, char* out16);
KursSatz decodeKursSatz(const char* in16);

}  // namespace vqs
