#pragma once

#include "model/tagged_value.h"
#include "model/titel_id.h"

#include <QString>

#include <array>
#include <optional>

namespace vqs {

// The definition of one title: how the broker knows it, how it is named and filed, whether it
// is recorded. Positions 0 to 8 of the stored list, typed.
// Replaces each of / \ : * ? " < > | by "-", and control characters (NUL among them, which would
// cut a path short) as well; nothing else changes.
QString DateinameBereinigen(const QString& name);

// Replaces each of ( ) [ ] { } / \ : * ? ' " < > | and control characters by "-". A name made
// only of dots (".", "..") would name the data root or its parent, so its dots become "-" as well.
QString OrdnerNameBereinigen(const QString& name);

// A folder name as the user typed it, made a title's `Ordner`: sanitised, without the blanks
// around it (a name of blanks only is no folder: the title's files lie in the data root).
QString ordnerAusEingabe(const QString& typed);

struct TitelDef {
    QString RT_WKN;          // 0: the code under which the broker knows the instrument
    QString WKN;             // 1: the code shown and used in file names
    QString Name;            // 2
    QString Ordner;          // 3: folder below the data root, sanitised
    QString RT_Boerse;       // 4: exchange code
    bool Aktiv = false;      // 5
    bool UseBidAsk = false;  // 6
    // 7, the file names of the quote kinds, is known to the data-file store and never stored.
    bool NeueNamen = false;  // 8: file names carry the exchange code

    TitelId id() const { return {RT_WKN, RT_Boerse}; }

    // The nine tagged values as saved (position 7 always empty).
    TaggedValue toTagged() const;
    // Appends the encoding of toTagged() without building it (saving runs per definition).
    void writeTagged(QByteArray& out) const;
    // A definition from a stored list; none when the value cannot be one (not a list, or
    // fewer than the five positions that make up name and key). Missing positions are empty.
    static std::optional<TitelDef> fromTagged(const TaggedValue& value);
    // What a stored list's positions say, as fromTagged takes it: the texts of positions 0 to 4
    // and the truth of 5, 6 and 8 (a missing or unusable position: empty, false), and how many
    // positions the list has.
    struct Positions {
        std::array<QString, 5> texts;
        bool aktiv = false, useBidAsk = false, neueNamen = false;
        size_t count = 0;
    };
    static std::optional<TitelDef> fromPositions(Positions&& positions);

    friend bool operator==(const TitelDef&, const TitelDef&) = default;
};

}  // namespace vqs
