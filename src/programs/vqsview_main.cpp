// vqsview FILE: the Dateninspektor on its own, so that a data file opens from a file manager.
// Its save takes the file's lock, so a recorder in another process waits for it and no tick
// it appends meanwhile is lost.
#include "common/error.h"
#include "datafiles/data_file_store.h"
#include "gui/dateninspektor/dateninspektor.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/german_texts.h"
#include "gui/shell/message_dialog.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const vqs::GermanQtTexts germanTexts;
    QApplication::setApplicationName(QStringLiteral("vqsview"));
    QApplication::setWindowIcon(vqs::programIcon());
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() != 1) {
        vqs::ShowMessage(QStringLiteral("Aufruf: vqsview DATEI.VQS"), vqs::msg::kOk, nullptr);
        return 2;
    }
    vqs::DataFileStore store;
    // The file itself where a link leads to it: its journal lies beside it.
    const QFileInfo given(args.front());
    const QString path =
        given.isSymLink() && given.exists() ? given.canonicalFilePath() : given.absoluteFilePath();
    store.setRoot(QFileInfo(path).absolutePath());
    // A journal left by a crashed save or merge goes back before anything is read.
    const vqs::DataFileStore::JournalOutcome journal = store.recoverJournal(path);
    if (journal.kind == vqs::DataFileStore::JournalOutcome::kFailed) {
        vqs::ShowMessage(QStringLiteral("Fehler aufgetreten: ") + journal.error.text, vqs::msg::kOk,
                         nullptr);
        return 1;
    }
    if (journal.kind == vqs::DataFileStore::JournalOutcome::kSetAside)
        vqs::ShowMessage(vqs::journalSetAsideText(path, journal.aside, journal.reason),
                         vqs::msg::kOk, nullptr);
    vqs::Dateninspektor inspektor(store);
    try {
        inspektor.open(path, nullptr);
    } catch (const vqs::VqsError& e) {
        vqs::ShowMessage(QStringLiteral("Fehler aufgetreten: ") + e.message(), vqs::msg::kOk,
                         nullptr);
        return 1;
    }
    return QApplication::exec();
}
