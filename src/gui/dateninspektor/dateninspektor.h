#pragma once

#include "common/result.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;
class QUndoStack;
class QDateTimeEdit;

namespace vqs {

class DataFileDocument;
class DataFileStore;
class KursChart;
class KursModell;
class KursTabelle;

// One data file: its header, its records as a table and as a chart, editing with undo, saving.
class InspektorFenster final : public QMainWindow {
    Q_OBJECT
public:
    // Takes an opened document, or one whose opening pass still runs (a large file): its rows
    // show at once, its counts and chart after finishReading().
    InspektorFenster(std::unique_ptr<DataFileDocument> doc, DataFileStore& store,
                     QWidget* parent = nullptr);
    // Waits for the opening pass and shows what it found, or gives why the file could not be
    // read.
    Result<void> finishReading();
    ~InspektorFenster() override;

    DataFileDocument& document() { return *doc_; }
    KursModell& model() { return *model_; }
    KursChart& chart() { return *chart_; }
    KursTabelle& table() { return *table_; }
    QUndoStack& undoStack() { return *undo_; }
    QString fehlerText() const;

    // Takes the records appended to the file meanwhile (a timer calls it every second). The
    // table shows them while it follows the file's end: until the user chooses a row, edits or
    // scrolls; then the rows stay where they are and a button counts what came meanwhile.
    void refresh();
    bool followsEnd() const { return following_; }
    // Shows the end of the file and follows it again (End, the button).
    void followEnd();
    // Saves the edits; false (after telling the user) when the file could not be written.
    bool save();
    // Inserts a record after the current one (a copy of it, one millisecond later).
    void insertRecord();
    void deleteMarked();
    // Shows the first record at or after the time.
    void goToTime(double zeit);
    void selectRow(std::int64_t row);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showCounts();
    void fileRead();
    void stopFollowing();

    std::unique_ptr<DataFileDocument> doc_;
    DataFileStore& store_;
    QUndoStack* undo_;
    KursModell* model_;
    KursTabelle* table_;
    KursChart* chart_;
    QLabel* anzahl_;
    QLabel* fehler_;
    QDateTimeEdit* gehezu_;
    QTimer* follow_;
    QPushButton* endeAnzeigen_;
    bool following_ = true;
    std::int64_t cameMeanwhile_ = 0;  // rows appended since the table stopped following
};

// The Dateninspektor of the program: one object for the run, which opens a window per data
// file (a file already open comes to the front).
class Dateninspektor final : public QObject {
    Q_OBJECT
public:
    explicit Dateninspektor(DataFileStore& store, QObject* parent = nullptr);
    ~Dateninspektor() override;

    // Opens the data file at `path` for the window `owner` (placed over it; when the owner is
    // inside a modal dialog, the Dateninspektor is modal too, so that it can be used). A file that
    // cannot be opened or is not a data file throws a VqsError with the reason.
    InspektorFenster* open(const QString& path, QWidget* owner);
    const std::vector<QPointer<InspektorFenster>>& windows() const { return windows_; }
    // Closes every window, each asking about unsaved edits; false when one stays open.
    bool closeAll();

private:
    // The opening pass over the file of `path` has ended.
    void fileRead(const QString& path);

    DataFileStore& store_;
    std::vector<QPointer<InspektorFenster>> windows_;
};

}  // namespace vqs
