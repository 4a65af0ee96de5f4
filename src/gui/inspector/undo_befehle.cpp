#include "gui/inspector/undo_befehle.h"

#include "gui/inspector/kurs_modell.h"

#include <algorithm>

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

SaetzeLoeschen::SaetzeLoeschen(KursModell& model, std::vector<std::int64_t> rows)
    : model_(model), rows_(std::move(rows)) {
    std::sort(rows_.begin(), rows_.end());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    setText(QStringLiteral("%1 Sätze löschen").arg(rows_.size()));
}
void SaetzeLoeschen::redo() {
    saetze_.clear();
    // From the back, so that the rows before keep their numbers.
    for (auto it = rows_.rbegin(); it != rows_.rend(); ++it)
        saetze_.push_back(model_.removeRecord(*it));
}
void SaetzeLoeschen::undo() {
    for (size_t i = 0; i < rows_.size(); ++i)
        model_.insertRecord(rows_[i], saetze_[saetze_.size() - 1 - i]);
}

}  // namespace vqs
