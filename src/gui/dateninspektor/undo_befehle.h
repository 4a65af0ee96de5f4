#pragma once

#include "datafiles/datei_kopf.h"

#include <QUndoCommand>

#include <cstdint>
#include <vector>

namespace vqs {

class KursModell;
struct ZeilenLauf;

// Changes one record.
class SatzAendern final : public QUndoCommand {
public:
    SatzAendern(KursModell& model, std::int64_t row, const KursSatz& neu);
    void redo() override;
    void undo() override;

private:
    KursModell& model_;
    std::int64_t row_;
    KursSatz alt_, neu_;
};

// Inserts one record.
class SatzEinfuegen final : public QUndoCommand {
public:
    SatzEinfuegen(KursModell& model, std::int64_t row, const KursSatz& satz);
    void redo() override;
    void undo() override;

private:
    KursModell& model_;
    std::int64_t row_;
    KursSatz satz_;
};

// Deletes marked records, run by run of neighbouring rows.
class SaetzeLoeschen final : public QUndoCommand {
public:
    // `laeufe` ascending and apart, as the table marks them.
    SaetzeLoeschen(KursModell& model, const std::vector<ZeilenLauf>& laeufe);
    void redo() override;
    void undo() override;

private:
    KursModell& model_;
    struct Run {
        std::int64_t first;
        std::int64_t count;
        std::vector<KursSatz> saetze;
    };
    std::vector<Run> runs_;  // ascending
};

}  // namespace vqs
