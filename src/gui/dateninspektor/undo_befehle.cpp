#include "gui/dateninspektor/undo_befehle.h"

#include "gui/dateninspektor/kurs_modell.h"

namespace vqs {

SatzAendern::SatzAendern(KursModell& model, std::int64_t row, const KursSatz& neu)
    : model_(model), row_(row), alt_(model.document().record(row)), neu_(neu) {
    setText(QStringLiteral("Satz %1 ändern").arg(row + 1));
}
void SatzAendern::redo() { model_.setRecord(row_, neu_); }
void SatzAendern::undo() { model_.setRecord(row_, alt_); }

SatzEinfuegen::SatzEinfuegen(KursModell& model, std::int64_t row, const KursSatz& satz)
    : model_(model), row_(row), satz_(satz) {
    setText(QStringLiteral("Satz einfügen"));
}
void SatzEinfuegen::redo() { model_.insertRecord(row_, satz_); }
void SatzEinfuegen::undo() { model_.removeRecord(row_); }

SaetzeLoeschen::SaetzeLoeschen(KursModell& model, const std::vector<ZeilenLauf>& laeufe)
    : model_(model) {
    std::int64_t n = 0;
    for (const ZeilenLauf& l : laeufe) {
        runs_.push_back({l.first, l.last - l.first + 1, {}});
        n += l.last - l.first + 1;
    }
    setText(QStringLiteral("%1 Sätze löschen").arg(n));
}
void SaetzeLoeschen::redo() {
    // From the back, so that the rows before keep their numbers.
    for (auto it = runs_.rbegin(); it != runs_.rend(); ++it)
        it->saetze = model_.removeRecords(it->first, it->count);
}
void SaetzeLoeschen::undo() {
    for (Run& run : runs_) {
        model_.insertRecords(run.first, run.saetze);
        run.saetze.clear();
    }
}

}  // namespace vqs
