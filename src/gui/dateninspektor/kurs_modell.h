#pragma once

#include "datafiles/data_file_document.h"

#include <QAbstractTableModel>

#include <optional>

class QUndoStack;

namespace vqs {

// Rows from `first` to `last`, both included: how marked rows are kept and deleted.
struct ZeilenLauf {
    std::int64_t first, last;
};

// The records of a data file as a table: time with milliseconds, price, volume. Rows are read
// from the document when shown; faulty rows are marked. Edits go through the undo stack.
class KursModell final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kZeit, kKurs, kVolume, kColumns };
    KursModell(DataFileDocument& doc, QUndoStack& undo, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    DataFileDocument& document() { return doc_; }
    // The record with one field taken from the text, or none when the text is not a value.
    static std::optional<KursSatz> withText(KursSatz satz, int column, const QString& text);
    static QString zeitText(double zeit);

    // Changes of the document, told to the views (called by the undo commands).
    void setRecord(std::int64_t row, const KursSatz& satz);
    void insertRecord(std::int64_t row, const KursSatz& satz);
    KursSatz removeRecord(std::int64_t row);
    std::vector<KursSatz> removeRecords(std::int64_t first, std::int64_t n);
    void insertRecords(std::int64_t first, const std::vector<KursSatz>& records);
    // Takes what the recorder appended to the file meanwhile; the number of new rows.
    std::int64_t refresh();
    // The saved file is the document now.
    Result<void> save(DataFileStore& store);

Q_SIGNALS:
    void contentChanged();

private:
    DataFileDocument& doc_;
    QUndoStack& undo_;
};

}  // namespace vqs
