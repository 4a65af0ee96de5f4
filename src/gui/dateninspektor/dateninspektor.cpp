#include "gui/dateninspektor/dateninspektor.h"

#include "common/error.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "datafiles/data_file_document.h"
#include "datafiles/data_file_store.h"
#include "gui/dateninspektor/kurs_chart.h"
#include "gui/dateninspektor/kurs_modell.h"
#include "gui/dateninspektor/kurs_tabelle.h"
#include "gui/dateninspektor/undo_befehle.h"
#include "gui/shell/help_viewer.h"
#include "gui/shell/message_dialog.h"
#include "gui/shell/window_placement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

namespace vqs {
namespace {

QLabel* feld(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

InspektorFenster::InspektorFenster(std::unique_ptr<DataFileDocument> doc, DataFileStore& store,
                                   QWidget* parent)
    : QMainWindow(parent), doc_(std::move(doc)), store_(store), undo_(new QUndoStack(this)) {
    setObjectName(QStringLiteral("Dateninspektor"));
    setAttribute(Qt::WA_DeleteOnClose);
    const DateiKopf& kopf = doc_->header();
    // "[*]": the title shows unsaved edits.
    setWindowTitle(QStringLiteral("Dateninspektor - %1 (%2)[*]")
                       .arg(kopf.displayName(), QFileInfo(doc_->path()).fileName()));
    resize(1100, 700);

    model_ = new KursModell(*doc_, *undo_, this);
    auto* central = new QWidget(this);
    auto* form = new QFormLayout;
    const QString titelKey = kopf.trimmedField(kopf::kTitelKey);
    const QString boerse =
        titelKey.contains(QLatin1Char('@')) ? titelKey.section(QLatin1Char('@'), -1) : QString();
    form->addRow(QStringLiteral("Titel:"), feld(kopf.displayName(), "Titel", central));
    form->addRow(QStringLiteral("WKN:"), feld(kopf.displayCode(), "WKN", central));
    form->addRow(QStringLiteral("Börse:"), feld(boerse, "Boerse", central));
    form->addRow(QStringLiteral("Kursart:"),
                 feld(kopf.trimmedField(kopf::kKursart), "Kursart", central));
    form->addRow(QStringLiteral("Pflegedatum:"),
                 feld(kopf.trimmedField(kopf::kPflegedatum), "Pflegedatum", central));
    anzahl_ = feld({}, "Anzahl", central);
    endeAnzeigen_ = new QPushButton(central);
    endeAnzeigen_->setObjectName(QStringLiteral("EndeAnzeigen"));
    endeAnzeigen_->setToolTip(
        QStringLiteral("Zeigt die neuesten Sätze und folgt wieder dem Ende der Datei (Strg+Ende)"));
    // Its place stays when it goes, so that the rows below do not jump.
    QSizePolicy keepsPlace = endeAnzeigen_->sizePolicy();
    keepsPlace.setRetainSizeWhenHidden(true);
    endeAnzeigen_->setSizePolicy(keepsPlace);
    endeAnzeigen_->hide();
    auto* anzahlZeile = new QHBoxLayout;
    anzahlZeile->addWidget(anzahl_);
    anzahlZeile->addWidget(endeAnzeigen_);
    anzahlZeile->addStretch(1);
    form->addRow(QStringLiteral("Sätze:"), anzahlZeile);
    fehler_ = feld({}, "Fehler", central);
    form->addRow(QString(), fehler_);

    auto* gehezuZeile = new QHBoxLayout;
    gehezu_ = new QDateTimeEdit(central);
    gehezu_->setObjectName(QStringLiteral("GeheZuZeit"));
    gehezu_->setDisplayFormat(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"));
    gehezu_->setCalendarPopup(true);
    auto* gehezuKnopf = new QPushButton(QStringLiteral("&Gehe zu Zeit"), central);
    gehezuKnopf->setObjectName(QStringLiteral("GeheZu"));
    gehezuZeile->addWidget(gehezu_);
    gehezuZeile->addWidget(gehezuKnopf);
    gehezuZeile->addStretch(1);
    form->addRow(QStringLiteral("Zeit:"), gehezuZeile);

    table_ = new KursTabelle(*model_, central);
    table_->setObjectName(QStringLiteral("Kurstabelle"));
    chart_ = new KursChart(*doc_, central);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    auto* links = new QWidget(splitter);
    auto* linksLayout = new QVBoxLayout(links);
    linksLayout->setContentsMargins(0, 0, 0, 0);
    linksLayout->addLayout(form);
    linksLayout->addWidget(table_, 1);
    splitter->addWidget(links);
    splitter->addWidget(chart_);
    splitter->setStretchFactor(1, 1);
    // The table as wide as its columns, row numbers and scroll bar: no sideways scrolling.
    const int tabelle = table_->preferredWidth();
    splitter->setSizes({tabelle, std::max(300, width() - tabelle)});
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(splitter);
    setCentralWidget(central);

    auto* bar = addToolBar(QStringLiteral("Bearbeiten"));
    bar->setObjectName(QStringLiteral("Werkzeuge"));
    bar->setMovable(false);
    auto action = [&](const QString& text, const char* name, QKeySequence keys) {
        QAction* a = bar->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(keys);
        return a;
    };
    QAction* speichern = action(QStringLiteral("&Speichern"), "Speichern", QKeySequence::Save);
    QAction* rueck = undo_->createUndoAction(this, QStringLiteral("&Rückgängig"));
    rueck->setObjectName(QStringLiteral("Rueckgaengig"));
    rueck->setShortcut(QKeySequence::Undo);
    QAction* wieder = undo_->createRedoAction(this, QStringLiteral("&Wiederholen"));
    wieder->setObjectName(QStringLiteral("Wiederholen"));
    // Ctrl+Y as the help says, and the platform's own keys (Ctrl+Shift+Z here).
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)))
        redoKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_Y));
    wieder->setShortcuts(redoKeys);
    // A new edit after an undo drops the steps undone: said where the user looks for them.
    const auto redoTip = [wieder](bool canRedo) {
        wieder->setToolTip(canRedo ? QStringLiteral("Wiederholen (Strg+Y) – eine neue Änderung "
                                                    "verwirft die rückgängig gemachten Schritte")
                                   : QStringLiteral("Wiederholen (Strg+Y)"));
    };
    redoTip(false);
    connect(undo_, &QUndoStack::canRedoChanged, wieder, redoTip);
    bar->addAction(rueck);
    bar->addAction(wieder);
    QAction* einfuegen = action(QStringLiteral("Satz &einfügen"), "Einfuegen", Qt::Key_Insert);
    QAction* loeschen =
        action(QStringLiteral("Markierte &löschen"), "Loeschen", QKeySequence::Delete);
    QAction* alles = action(QStringLiteral("&Alles zeigen"), "AllesZeigen", {});
    QAction* hilfe = action(QStringLiteral("Hilfe"), "Hilfe", Qt::Key_F1);
    connect(hilfe, &QAction::triggered, this, [this] { showHelp(this, help::kDateninspektor); });
    speichern->setEnabled(false);
    connect(undo_, &QUndoStack::cleanChanged, this, [this, speichern](bool clean) {
        speichern->setEnabled(!clean);
        setWindowModified(!clean);
    });
    connect(speichern, &QAction::triggered, this, [this] { save(); });
    connect(einfuegen, &QAction::triggered, this, &InspektorFenster::insertRecord);
    connect(loeschen, &QAction::triggered, this, &InspektorFenster::deleteMarked);
    connect(alles, &QAction::triggered, this, [this] {
        if (doc_->isRead()) chart_->showAll();
    });
    connect(gehezuKnopf, &QPushButton::clicked, this,
            [this] { goToTime(serialFromDateTime(gehezu_->dateTime())); });
    connect(chart_, &KursChart::recordChosen, this, [this](std::int64_t row) {
        stopFollowing();
        selectRow(row);
    });
    connect(table_, &KursTabelle::browsed, this, &InspektorFenster::stopFollowing);
    connect(table_, &KursTabelle::endRequested, this, &InspektorFenster::followEnd);
    connect(endeAnzeigen_, &QPushButton::clicked, this, &InspektorFenster::followEnd);
    connect(model_, &KursModell::contentChanged, this, [this] {
        showCounts();
        chart_->redraw();
    });

    follow_ = new QTimer(this);
    follow_->setInterval(1000);
    connect(follow_, &QTimer::timeout, this, &InspektorFenster::refresh);

    // The rows come from the file as they are shown; counts and chart need the opening pass.
    if (doc_->count() > 0) {
        gehezu_->setDateTime(dateTimeFromSerial(doc_->record(0).Zeit));
        selectRow(doc_->count() - 1);  // today's latest ticks first
    }
    if (doc_->isRead()) {
        fileRead();
    } else {
        anzahl_->setText(QLocale().toString(static_cast<qlonglong>(doc_->count())));
        fehler_->setText(QStringLiteral("Fehler: …"));
    }
}

Result<void> InspektorFenster::finishReading() {
    if (doc_->isRead()) return {};  // told already
    Result<void> read = doc_->finishOpening();
    if (read) fileRead();
    return read;
}

void InspektorFenster::fileRead() {
    showCounts();
    chart_->showAll();
    follow_->start();
}

InspektorFenster::~InspektorFenster() = default;

QString InspektorFenster::fehlerText() const {
    return QStringLiteral("Fehler: %1").arg(doc_->faultCount());
}

void InspektorFenster::showCounts() {
    anzahl_->setText(QLocale().toString(static_cast<qlonglong>(doc_->count())));
    fehler_->setText(fehlerText());
    fehler_->setStyleSheet(doc_->faultCount() ? QStringLiteral("color: #b00000; font-weight: bold")
                                              : QString());
}

void InspektorFenster::stopFollowing() { following_ = false; }

void InspektorFenster::followEnd() {
    following_ = true;
    cameMeanwhile_ = 0;
    const bool hadFocus = endeAnzeigen_->hasFocus();
    endeAnzeigen_->hide();
    table_->scrollToBottom();
    if (hadFocus) table_->setFocus();  // not on to the next control
}

void InspektorFenster::refresh() {
    if (!doc_->isRead()) return;
    const std::int64_t before = doc_->count();
    // The chart follows the end while it is in sight: it moves nothing under the pointer.
    const bool chartAtEnd = before == 0 || chart_->toZeit() >= doc_->record(before - 1).Zeit;
    const std::int64_t came = model_->refresh();
    if (came == 0) return;
    // Rows only come at the end, so a chosen row, its marks and an open editor keep their
    // records; only the view's following would move them under the user's pointer.
    if (following_) {
        table_->scrollToBottom();
    } else {
        cameMeanwhile_ += came;
        endeAnzeigen_->setText(
            QStringLiteral("Neue Sätze: %1 – Ende anzeigen")
                .arg(QLocale().toString(static_cast<qlonglong>(cameMeanwhile_))));
        endeAnzeigen_->show();
    }
    const double last = doc_->record(doc_->count() - 1).Zeit;
    if (before == 0) {
        chart_->showAll();
    } else if (chartAtEnd && last > chart_->toZeit()) {
        // The whole file grows with it; a part of it moves on, as a live chart does.
        const double from = chart_->fromZeit(), span = chart_->toZeit() - from;
        if (from <= doc_->record(0).Zeit)
            chart_->setRange(from, last + (last - from) * 0.01);
        else
            chart_->setRange(last + span * 0.01 - span, last + span * 0.01);
    }
}

bool InspektorFenster::save() {
    if (undo_->isClean()) return true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Result<void> saved = model_->save(store_);
    QApplication::restoreOverrideCursor();
    if (!saved) {
        ShowMessage(QStringLiteral("Fehler beim Speichern aufgetreten: ") + saved.error().text +
                        (saved.code() == DataFileDocument::kChangedMeanwhile
                             ? QString()
                             : QStringLiteral(" (die Datei ist unverändert)")),
                    msg::kOk, nullptr);
        return false;
    }
    undo_->setClean();
    refresh();
    return true;
}

void InspektorFenster::insertRecord() {
    if (!doc_->isRead()) return;
    const std::int64_t current = table_->currentRow();
    const std::int64_t row = current >= 0 ? current + 1 : model_->rowCount();
    KursSatz satz;
    if (row > 0) {
        satz = doc_->record(row - 1);
        satz.Zeit += 1.0 / kMillisecondsPerDay;
    } else {
        satz.Zeit = serialFromDateTime(QDateTime::currentDateTime());
    }
    stopFollowing();
    undo_->push(new SatzEinfuegen(*model_, row, satz));
    selectRow(row);
}

void InspektorFenster::deleteMarked() {
    if (!doc_->isRead()) return;
    if (table_->marken().empty()) return;
    undo_->push(new SaetzeLoeschen(*model_, table_->marken().laeufe()));
}

void InspektorFenster::goToTime(double zeit) {
    if (doc_->count() == 0 || !doc_->isRead()) return;
    stopFollowing();
    selectRow(std::min(doc_->firstAtOrAfter(zeit), doc_->count() - 1));
}

void InspektorFenster::selectRow(std::int64_t row) { table_->selectRow(row); }

void InspektorFenster::closeEvent(QCloseEvent* event) {
    if (!undo_->isClean()) {
        const int answer = ShowMessage(
            QStringLiteral("Die Änderungen an %1 sind nicht gespeichert. Jetzt speichern?")
                .arg(QDir::toNativeSeparators(doc_->path())),
            msg::kYesNoCancel, nullptr);
        if (answer == msg::kResultCancel || answer == msg::kResultNone ||
            (answer == msg::kResultJa && !save())) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

Dateninspektor::Dateninspektor(DataFileStore& store, QObject* parent)
    : QObject(parent), store_(store) {}

Dateninspektor::~Dateninspektor() {
    for (const QPointer<InspektorFenster>& w : windows_) delete w.data();
}

bool Dateninspektor::closeAll() {
    for (const QPointer<InspektorFenster>& w : windows_)
        if (w && !w->close()) return false;
    return true;
}

void Dateninspektor::fileRead(const QString& path) {
    for (const QPointer<InspektorFenster>& w : windows_) {
        if (!w || w->document().path() != path) continue;
        if (const Result<void> read = w->finishReading(); !read) {
            ShowMessage(QStringLiteral("Fehler aufgetreten: ") + read.error().text, msg::kOk,
                        nullptr);
            w->close();
        }
    }
}

InspektorFenster* Dateninspektor::open(const QString& path, QWidget* owner) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    std::erase_if(windows_, [](const QPointer<InspektorFenster>& w) { return w.isNull(); });
    for (const QPointer<InspektorFenster>& w : windows_) {
        if (QFileInfo(w->document().path()).absoluteFilePath() == absolute) {
            w->showNormal();
            w->raise();
            w->activateWindow();
            return w;
        }
    }
    // A large file shows at once; its counts and chart follow when it has been read.
    Result<std::unique_ptr<DataFileDocument>> doc =
        DataFileDocument::beginOpening(absolute, systemFileSystem(), [this, absolute] {
            QMetaObject::invokeMethod(
                this, [this, absolute] { fileRead(absolute); }, Qt::QueuedConnection);
        });
    // Told by the caller's boundary, as every failure of opening a window is.
    if (!doc) throw VqsError(doc.error().text);
    auto* window = new InspektorFenster(std::move(*doc), store_);
    // A window shown beside a modal dialog would take no input: it is modal then, too.
    if (QApplication::activeModalWidget()) window->setWindowModality(Qt::ApplicationModal);
    // Over its owner, whole on the owner's screen (the window is larger than most owners).
    if (owner)
        fitOnScreen(window, owner->window()->frameGeometry().center());
    else
        fitOnScreen(window);
    windows_.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace vqs
