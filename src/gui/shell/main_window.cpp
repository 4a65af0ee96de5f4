#include "gui/shell/main_window.h"

#include "recording/connection_watchdog.h"

#include "common/number_text.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/help_viewer.h"
#include "gui/shell/monitor_model.h"
#include "gui/shell/small_dialogs.h"
#include "gui/shell/window_placement.h"
#include "recording/recorder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>

namespace vqs {
namespace {

const QString kCaption = QStringLiteral("Tradomir VQS für Bravolt-API");
const QString kPlacement = QString::fromLatin1(settings::kHauptfensterPos);
// The monitor is never made lower than a few rows.
constexpr int kMinMonitorHeight = 100;
constexpr QSize kCollapsed(580, 162);
constexpr QRect kMonitorDesign(12, 192, 844, 330);  // the list as designed

}  // namespace

Bravolt_Hauptfenster::Bravolt_Hauptfenster(Recorder& recorder, QWidget* parent)
    : QWidget(parent), recorder_(recorder), endProgram_([] { QCoreApplication::exit(0); }) {
    setObjectName(QStringLiteral("Bravolt_Hauptfenster"));
    setWindowTitle(kCaption);
    setWindowIcon(programIcon());
    buildControls();
    setFixedSize(kCollapsed);
    start_ = size();
    kursdescriptionLabel_->setText(
        QStringLiteral("Kurse aufgezeichnet seit ") +
        recorder_.clock().now().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    RestoreMainWindowPos(this, recorder_.settings(), kPlacement);
    loaded_ = true;

    connect(&recorder_, &Recorder::tickRecorded, this, &Bravolt_Hauptfenster::Protokolleintrag);
    connect(&recorder_, &Recorder::logLine, this, [this](const QString& line) {
        protokoll_ = recorder_.clock().now().toString(QStringLiteral("HH:mm:ss ")) + line;
        showWarnings();
    });
    // Those of the start came before the window.
    for (const Recorder::Warning& w : recorder_.warnings())
        unreadWarnings_ << w.at.toString(QStringLiteral("HH:mm:ss ")) + w.text;
    connect(&recorder_, &Recorder::warningLine, this, [this](const QString& line) {
        unreadWarnings_ << recorder_.clock().now().toString(QStringLiteral("HH:mm:ss ")) + line;
        showWarnings();
    });
    connect(&recorder_, &Recorder::titlesChanged, this,
            &Bravolt_Hauptfenster::TitelInfoAktualisieren);
    connect(&recorder_, &Recorder::startInfo, this, &Bravolt_Hauptfenster::setStartInfo);
    connect(&recorder_, &Recorder::loadProgressMaximum, this,
            [this](int maximum) { fortschrittAnzeige_->setMaximum(std::max(maximum, 0)); });
    connect(&recorder_, &Recorder::loadProgress, fortschrittAnzeige_, &QProgressBar::setValue);
    // The store keeps the faults that last; the line shows them.
    connect(&recorder_, &Recorder::writeFailed, this, [this] { showWarnings(); });
    connect(&recorder_, &Recorder::writeFaultEnded, this, [this] { showWarnings(); });
    connect(&recorder_, &Recorder::sessionStateChanged, this, [this] { showWarnings(); });
    connect(&recorder_, &Recorder::lagChanged, this, [this] { showWarnings(); });
    connect(&recorder_.connection(), &ConnectionWatchdog::changed, this, [this] {
        TitelInfoAktualisieren();
        showWarnings();
    });
}

Bravolt_Hauptfenster::~Bravolt_Hauptfenster() = default;

void Bravolt_Hauptfenster::buildControls() {
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromUtf8(name));
        return w;
    };
    image1_ = new QLabel(this);
    named(image1_, "Image1")->setGeometry(12, 12, 48, 48);
    image1_->setPixmap(programIcon().pixmap(48, 48));

    titelinfoLabel_ = new QLabel(QStringLiteral("0 Titel aktiviert"), this);
    named(titelinfoLabel_, "TitelinfoLabel")->setGeometry(72, 10, 487, 22);
    QFont bold = titelinfoLabel_->font();
    bold.setBold(true);
    titelinfoLabel_->setFont(bold);

    kursdescriptionLabel_ = new QLabel(QStringLiteral("Kurse aufgezeichnet seit 10.10.2000"), this);
    named(kursdescriptionLabel_, "kursdescriptionlabel")->setGeometry(72, 34, 310, 20);
    labelkurse_ = new QLabel(QStringLiteral("0"), this);
    named(labelkurse_, "labelkurse")->setGeometry(382, 34, 177, 20);
    labelkurse_->setFont(bold);

    txtOrdner_ = new QLineEdit(this);
    named(txtOrdner_, "txtOrdner")->setGeometry(72, 60, 487, 24);
    txtOrdner_->setReadOnly(true);
    txtOrdner_->setFocusPolicy(Qt::ClickFocus);

    // During start-up and shutdown the status covers the folder line.
    startinfo_ = new QLabel(
        QStringLiteral("Die Verbindung zur Bravolt-API wird initialisiert. Falls die Verbindung "
                       "nicht zustande kommt, kann es einige Zeit dauern, bis Tradomir VQS wieder "
                       "reagiert."),
        this);
    named(startinfo_, "Startinfo")->setGeometry(72, 58, 487, 40);
    startinfo_->setWordWrap(true);
    startinfo_->setAutoFillBackground(true);
    startinfo_->raise();
    // What the user must know while it lasts: data that cannot be written, no connection.
    warnzeile_ = new QLabel(this);
    named(warnzeile_, "Warnzeile")->setGeometry(72, 88, 487, 28);
    warnzeile_->setWordWrap(true);
    warnzeile_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette warning = warnzeile_->palette();
    warning.setColor(QPalette::WindowText, QColor(0xB0, 0, 0));
    warnzeile_->setPalette(warning);
    warnzeile_->hide();
    // Otherwise the program's last log line ("Datenpflege beendet: …"), in grey.
    protokollzeile_ = new QLabel(this);
    named(protokollzeile_, "Protokollzeile")->setGeometry(warnzeile_->geometry());
    protokollzeile_->setWordWrap(true);
    protokollzeile_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette quiet = protokollzeile_->palette();
    quiet.setColor(QPalette::WindowText, QColor(0x50, 0x50, 0x50));
    protokollzeile_->setPalette(quiet);
    protokollzeile_->hide();
    protokollzeile_->installEventFilter(this);
    fortschrittAnzeige_ = new QProgressBar(this);
    named(fortschrittAnzeige_, "FortschrittAnzeige")->setGeometry(72, 100, 487, 10);
    fortschrittAnzeige_->setTextVisible(false);
    fortschrittAnzeige_->setValue(0);

    auto button = [&](QPushButton*& b, const char* name, const QString& caption, QRect geometry) {
        b = new QPushButton(caption, this);
        named(b, name)->setGeometry(geometry);
    };
    button(btnTitelauswahl_, "btnTitelauswahl", QStringLiteral("Titel&auswahl..."),
           {12, 120, 112, 26});
    button(btnVerwaltung_, "btnVerwaltung", QStringLiteral("&Verwaltung..."), {130, 120, 100, 26});
    button(btnDateninspektor_, "btnDateninspektor", QStringLiteral("&Dateninspektor"),
           {236, 120, 112, 26});
    button(btnInfo_, "btnInfo", QStringLiteral("&Info"), {361, 120, 56, 26});
    button(btnHilfe_, "btnHilfe", QStringLiteral("?"), {423, 120, 30, 26});
    button(btnProtokoll_, "btnProtokoll", QStringLiteral("&Monitor >>"), {459, 120, 100, 26});

    label1_ = new QLabel(QStringLiteral("Anzeige bitte einklappen, wenn nicht benötigt"), this);
    named(label1_, "Label1")->setGeometry(12, 170, 547, 18);
    label1_->hide();

    monitorModel_ = new MonitorModel(this);
    lProtokoll_ = new QTableView(this);
    named(lProtokoll_, "lProtokoll")->setGeometry(kMonitorDesign);
    lProtokoll_->setModel(monitorModel_);
    lProtokoll_->setItemDelegate(new MonitorDelegate(*monitorModel_, lProtokoll_));
    lProtokoll_->verticalHeader()->hide();
    lProtokoll_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lProtokoll_->verticalHeader()->setDefaultSectionSize(lProtokoll_->fontMetrics().height() + 4);
    lProtokoll_->setShowGrid(false);
    lProtokoll_->setWordWrap(false);
    lProtokoll_->horizontalHeader()->setHighlightSections(false);
    lProtokoll_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lProtokoll_->setAlternatingRowColors(true);
    lProtokoll_->setSelectionMode(QAbstractItemView::NoSelection);
    const int widths[] = {190, 70, 55, 140, 80, 80, 80, 90};
    for (int c = 0; c < MonitorModel::kColumns; ++c) lProtokoll_->setColumnWidth(c, widths[c]);
    lProtokoll_->hide();

    connect(btnTitelauswahl_, &QPushButton::clicked, this, [this] { btnTitelauswahl_Click(); });
    connect(btnVerwaltung_, &QPushButton::clicked, this, [this] { btnVerwaltung_Click(); });
    connect(btnDateninspektor_, &QPushButton::clicked, this, [this] {
        if (openDateninspektor_) openDateninspektor_();
    });
    connect(btnProtokoll_, &QPushButton::clicked, this, [this] { btnProtokoll_Click(); });
    connect(btnInfo_, &QPushButton::clicked, this, [this] {
        frmTradomirInfo info(this);
        info.exec();
    });
    connect(btnHilfe_, &QPushButton::clicked, this,
            [this] { showHelp(this, help::kHauptfenster); });
    installHelpKey(this, help::kHauptfenster);
}

void Bravolt_Hauptfenster::finishStartup(const QString& datenpfad) {
    txtOrdner_->setText(QStringLiteral("in ") + datenpfad);
    txtOrdner_->setToolTip(datenpfad);
    fortschrittAnzeige_->hide();
    startinfo_->hide();
    started_ = true;
    showWarnings();
    // A dialog that does not exist yet cannot be opened: its button says so by being disabled.
    btnTitelauswahl_->setEnabled(static_cast<bool>(openTitelauswahl_));
    btnVerwaltung_->setEnabled(static_cast<bool>(openVerwaltung_));
    btnDateninspektor_->setEnabled(static_cast<bool>(openDateninspektor_));
    setEnabled(true);
}

void Bravolt_Hauptfenster::setStartInfo(const QString& text) {
    startinfo_->setText(text);
    startinfo_->show();
}

void Bravolt_Hauptfenster::TitelInfoAktualisieren() {
    if (recorder_.connection().state().lost) {
        // Nothing is recorded meanwhile, yet the titles stay switched on: both are said, so that
        // the line does not read as if they had been switched off.
        titelinfoLabel_->setText(QStringLiteral("%1 Titel aktiviert – Verbindung unterbrochen")
                                     .arg(recorder_.titles().countActive().aktiv));
        return;
    }
    // Titles count as activated when they are really recorded, not merely switched on.
    const TitelRegistry::Count count = recorder_.titles().countRecording();
    titelinfoLabel_->setText(
        QStringLiteral("%1 Titel aktiviert, %2 mit Geld/Brief").arg(count.aktiv).arg(count.bidAsk));
}

double Bravolt_Hauptfenster::Kursanzahl() const { return recorder_.kursanzahl(); }

bool Bravolt_Hauptfenster::monitorOpen() const { return !lProtokoll_->isHidden(); }

void Bravolt_Hauptfenster::Protokolleintrag(const TitelDef& def, Kursart kind, float kurs,
                                            float volume, double zeit) {
    // The monitor records only while it is open; rows go in with the next refresh.
    if (monitorOpen()) monitorModel_->append(def, kind, kurs, volume, zeit);
    scheduleRefresh();
}

void Bravolt_Hauptfenster::scheduleRefresh() {
    // Quotes come in bursts: counter and monitor are shown once per turn of the event loop.
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void Bravolt_Hauptfenster::refresh() {
    refreshPending_ = false;
    labelkurse_->setText(QString::number(recorder_.kursanzahl(), 'f', 0));
    if (monitorModel_->flush()) lProtokoll_->scrollToBottom();
}

void Bravolt_Hauptfenster::showWarnings() {
    // The line names the file below the data folder (shown above it); its tooltip the whole
    // path. The tray's tip holds 127 characters: the file's name only.
    QString text, full, tip;
    const QHash<QString, QString>& faults = recorder_.store().faults();
    const ConnectionWatchdog::State& connection = recorder_.connection().state();
    if (started_ && !unloading_ && connection.lost) {
        // Nothing is recorded meanwhile: this comes before any write fault.
        const QString seit = connection.since.toString(QStringLiteral("HH:mm:ss"));
        text = full = tip =
            connection.nextAttempt.isValid()
                ? QStringLiteral("Verbindung unterbrochen seit %1, neuer Versuch um %2")
                      .arg(seit, connection.nextAttempt.toString(QStringLiteral("HH:mm:ss")))
                : QStringLiteral(
                      "Verbindung unterbrochen seit %1: es werden keine Kurse "
                      "aufgezeichnet.")
                      .arg(seit);
    } else if (!faults.isEmpty()) {
        // The first by name, so that the line does not jump between faults that last.
        auto first = faults.cbegin();
        for (auto it = faults.cbegin(); it != faults.cend(); ++it) {
            if (it.key() < first.key()) first = it;
        }
        const QString more = faults.size() > 1
                                 ? QStringLiteral(" (und %1 weitere)").arg(faults.size() - 1)
                                 : QString();
        const QString where = QDir::toNativeSeparators(first.key());
        const QString below = QDir(recorder_.datenpfad()).relativeFilePath(first.key());
        text = QStringLiteral("Schreibfehler, Kurse gehen verloren: %1: %2%3")
                   .arg(below.startsWith(QLatin1String("..")) ? where
                                                              : QDir::toNativeSeparators(below),
                        first.value(), more);
        full = QStringLiteral("Schreibfehler, Kurse gehen verloren: %1: %2%3")
                   .arg(where, first.value(), more);
        tip = QStringLiteral("Schreibfehler: %1: %2%3")
                  .arg(QFileInfo(first.key()).fileName(), first.value(), more);
    } else if (const std::optional<int> lag = recorder_.lagSeconds(); lag && !unloading_) {
        text = full = tip = Recorder::lagText(*lag);
    } else if (started_ && !unloading_ && !recorder_.session().loggedIn()) {
        text = full = tip =
            QStringLiteral("Ohne Datenverbindung: es werden keine Kurse aufgezeichnet.");
    }
    // At most two lines fit between the folder and the buttons.
    const QFontMetrics metrics(warnzeile_->font());
    warnzeile_->setText(metrics.elidedText(text, Qt::ElideMiddle, 2 * warnzeile_->width() - 40));
    warnzeile_->setToolTip(full);
    warnzeile_->setVisible(!text.isEmpty());
    // A warning of the log stays until read; the line then goes on with the last log line.
    const bool unread = !unreadWarnings_.isEmpty();
    const QString zeile = unread ? unreadWarnings_.front() : protokoll_;
    // The count of the others stays in view however long the first is.
    const QString weitere =
        unreadWarnings_.size() > 1
            ? QStringLiteral(" (und %1 weitere)").arg(unreadWarnings_.size() - 1)
            : QString();
    protokollzeile_->setText(
        metrics.elidedText(zeile, Qt::ElideRight,
                           2 * protokollzeile_->width() - 40 - metrics.horizontalAdvance(weitere)) +
        weitere);
    // A long outage may pile warnings up: the tip lists the first few.
    constexpr qsizetype kTipWarnings = 10;
    QString warnings = unreadWarnings_.mid(0, kTipWarnings).join(QLatin1Char('\n'));
    if (unreadWarnings_.size() > kTipWarnings)
        warnings += QStringLiteral("\n… und %1 weitere").arg(unreadWarnings_.size() - kTipWarnings);
    protokollzeile_->setToolTip(
        unread ? warnings +
                     QStringLiteral("\n\nEin Klick auf die Zeile bestätigt die angezeigte Warnung.")
               : protokoll_);
    QPalette palette = protokollzeile_->palette();
    palette.setColor(QPalette::WindowText,
                     unread ? QColor(0x9A, 0x52, 0x00) : QColor(0x50, 0x50, 0x50));
    protokollzeile_->setPalette(palette);
    protokollzeile_->setCursor(unread ? Qt::PointingHandCursor : Qt::ArrowCursor);
    protokollzeile_->setVisible(text.isEmpty() && started_ && !unloading_ && !zeile.isEmpty());
    if (sysTray_) sysTray_->setToolTip(tip.isEmpty() ? kCaption : kCaption + "\n" + tip);
}

void Bravolt_Hauptfenster::btnProtokoll_Click() {
    if (!monitorOpen()) {
        const QRect list = lProtokoll_->geometry();
        const QRect button = btnProtokoll_->geometry();
        const int dw = list.x() + list.width() - button.x() - button.width() - 9;
        const int dh = list.y() + list.height() - button.y() - button.height() - 4;
        lProtokoll_->show();
        label1_->show();
        // As wide as the list needs; as tall as the user likes, but never taller than the
        // screen at first, so that the buttons stay in reach on a small screen.
        const QSize grown(width() + dw, height() + dh);
        monitorBottomMargin_ = grown.height() - list.bottom() - 1;
        setMinimumSize(grown.width(), list.top() + kMinMonitorHeight + monitorBottomMargin_);
        setMaximumSize(grown.width(), QWIDGETSIZE_MAX);
        int height = grown.height();
        if (const QScreen* s = screen()) {
            const int frame = frameGeometry().height() - geometry().height();
            height = std::clamp(s->availableGeometry().height() - frame, minimumHeight(), height);
        }
        resize(grown.width(), height);
        // The grown window moves up and left as far as needed to stay on its screen.
        fitOnScreen(this);
        btnProtokoll_->setText(QStringLiteral("Monitor <<"));
    } else {
        setFixedSize(start_);
        monitorModel_->clear();
        lProtokoll_->hide();
        lProtokoll_->setGeometry(kMonitorDesign);
        label1_->hide();
        btnProtokoll_->setText(QStringLiteral("&Monitor >>"));
    }
}

void Bravolt_Hauptfenster::btnTitelauswahl_Click() {
    if (!recorder_.session().loggedIn()) {
        recorder_.messages().ShowMessage(
            QStringLiteral("Es besteht keine Verbindung zur Bravolt API. Starten Sie Tradomir VQS "
                           "gegebenenfalls neu, um eine Verbindung herzustellen."),
            msg::kOk);
        return;
    }
    if (!openTitelauswahl_) return;
    openTitelauswahl_();
    recorder_.loop().yield();
    recorder_.saveDefinitions();
    TitelInfoAktualisieren();
    recorder_.logRecording();
}

void Bravolt_Hauptfenster::btnVerwaltung_Click() {
    if (recorder_.titles().definitions().isEmpty()) {
        // Asked with the system's box, as a plain question before the dialog.
        const auto answer = QMessageBox::question(
            this, kCaption,
            QStringLiteral("Es wurden noch keine Titel zur Aufzeichnung ausgewählt "
                           "('Titelauswahl'). Dennoch jetzt die Titelverwaltung öffnen?"));
        if (answer != QMessageBox::Yes) return;
    } else if (!recorder_.session().loggedIn()) {
        recorder_.messages().ShowMessage(
            QStringLiteral("Es besteht keine Verbindung zur Bravolt-API. Es können daher in der "
                           "Titelverwaltung keine Titel zur Aufzeichnung aktiviert werden."),
            msg::kOk);
    }
    if (!openVerwaltung_) return;
    openVerwaltung_();
    recorder_.loop().yield();
    recorder_.saveDefinitions();
    recorder_.logRecording();
}

void Bravolt_Hauptfenster::InitSysTray(TrayShell& shell, bool trayAvailable) {
    trayAvailable_ = trayAvailable;
    recorder_.loop().yield();
    sysTray_ = std::make_unique<frmSysTray>(shell, *this, programIcon(), kCaption);
    sysTray_->AddMenuItem(QStringLiteral("&Tradomir VQS anzeigen"), QStringLiteral("Open"), true);
    sysTray_->AddMenuItem(QStringLiteral("-"), QString());
    sysTray_->AddMenuItem(QStringLiteral("&Titelauswahl..."), QStringLiteral("Titelauswahl"));
    sysTray_->AddMenuItem(QStringLiteral("&Verwaltung..."), QStringLiteral("Verwaltung"));
    sysTray_->AddMenuItem(QStringLiteral("-"), QString());
    sysTray_->AddMenuItem(QStringLiteral("In Taskleiste &anzeigen"),
                          QStringLiteral("ShowInTaskBar"));
    sysTray_->AddMenuItem(QStringLiteral("-"), QString());
    sysTray_->AddMenuItem(QStringLiteral("&Tradomir VQS beenden"), QStringLiteral("Beenden"));
    sysTray_->EnableMenuItem(kTitelauswahl, static_cast<bool>(openTitelauswahl_));
    sysTray_->EnableMenuItem(kVerwaltung, static_cast<bool>(openVerwaltung_));
    showWarnings();  // the tip, with what is wrong

    // The item shows its box checked or not.
    sysTray_->CheckMenuItem(kShowInTaskBar, false);

    if (!trayAvailable_) {
        // Without a notification area the taskbar entry is the only way back to the window: it
        // stays, and nothing is asked or stored about it.
        setTaskbarButton(true);
        sysTray_->CheckMenuItem(kShowInTaskBar, true);
        sysTray_->EnableMenuItem(kShowInTaskBar, false);
        showAndActivate();
        return;
    }
    if (readSetting(recorder_.settings(), settings::kTaskbar).isEmpty()) {
        const int answer = recorder_.messages().ShowMessage(
            QStringLiteral("Das Symbol von Tradomir VQS wird im Infobereich der Taskleiste "
                           "angezeigt. Mit rechtem Mausklick auf das Symbol öffnen Sie dort das "
                           "Auswahlmenü.\nSoll Tradomir VQS auch als Programm in der Taskleiste "
                           "erscheinen?"),
            msg::kYesNo);
        if (answer == msg::kResultNein) writeSetting(recorder_.settings(), settings::kTaskbar, "0");
    }
    if (switchIsOn(readSetting(recorder_.settings(), settings::kTaskbar, QStringLiteral("1")))) {
        setTaskbarButton(true);
        writeSetting(recorder_.settings(), settings::kTaskbar, QStringLiteral("1"));
        show();
        recorder_.loop().yield();
        sysTray_->CheckMenuItem(kShowInTaskBar, true);
        showNormal();
        activateWindow();
    } else {
        setTaskbarButton(false);
    }
    if (!switchIsOn(readSetting(recorder_.settings(), settings::kAnzeigen))) {
        showMinimized();
    } else {
        showAndActivate();
    }
}

void Bravolt_Hauptfenster::showAndActivate() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void Bravolt_Hauptfenster::setTaskbarButton(bool on) {
    // A tool window has no taskbar button; changing the kind of window needs a new show.
    if (windowFlags().testFlag(Qt::Tool) == !on) return;
    const bool visible = isVisible();
    setWindowFlag(Qt::Tool, !on);
    if (visible) show();
}

void Bravolt_Hauptfenster::SysTrayMouseDown(TrayButton button) {
    if (button == TrayButton::kRight && sysTray_) sysTray_->ShowMenu();
}

void Bravolt_Hauptfenster::SysTrayMouseUp(TrayButton button) {
    if (button != TrayButton::kLeft) return;
    showNormal();
    raise();
    recorder_.loop().yield();
    activateWindow();
}

void Bravolt_Hauptfenster::MenuClick(std::int32_t, const QString& key) {
    if (key == QLatin1String("Titelauswahl")) {
        btnTitelauswahl_Click();
    } else if (key == QLatin1String("Verwaltung")) {
        btnVerwaltung_Click();
    } else if (key == QLatin1String("Open")) {
        showAndActivate();
    } else if (key == QLatin1String("ShowInTaskBar")) {
        if (!sysTray_->IsCheckedMenuItem(kShowInTaskBar)) {
            setTaskbarButton(true);
            sysTray_->CheckMenuItem(kShowInTaskBar, true);
            showAndActivate();
        } else if (trayAvailable_) {
            // Takes effect at once here: no restart notice.
            setTaskbarButton(false);
            sysTray_->CheckMenuItem(kShowInTaskBar, false);
        }
    } else if (key == QLatin1String("Beenden")) {
        if (!ohneRueckfrage_ && !askToQuit()) return;
        if (mayQuit_ && !mayQuit_()) return;
        unload();
        close();
    }
}

bool Bravolt_Hauptfenster::askToQuit() {
    return recorder_.messages().ShowMessage(
               QStringLiteral("Möchten Sie ") + windowTitle() + QStringLiteral(" beenden?"),
               msg::kYesNo) != msg::kResultNein;
}

void Bravolt_Hauptfenster::closeEvent(QCloseEvent* event) {
    if (!unloading_ && !started_) {
        // Still starting: start-up stops at its next step and ends the program cleanly.
        event->ignore();
        if (closeDuringStartup_) closeDuringStartup_();
        return;
    }
    if (!unloading_) {
        // Only the user's close through the title bar asks; the program and the system do not.
        if (event->spontaneous() &&
            ((!ohneRueckfrage_ && !askToQuit()) || (mayQuit_ && !mayQuit_()))) {
            event->ignore();
            return;
        }
        unload();
    }
    event->accept();
}

void Bravolt_Hauptfenster::unload() {
    if (unloading_) return;
    unloading_ = true;
    runStep([&] {
        setEnabled(false);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    });
    runStep([&] { setStartInfo(QStringLiteral("Der Datenstrom wird beendet. Bitte warten...")); });
    // Subscriptions end, the session closes; the definitions stay as they are, so that nothing
    // that might still save them could save an emptied collection.
    runStep([&] { recorder_.shutdown(); });
    runStep([&] { QGuiApplication::restoreOverrideCursor(); });
    runStep([&] {
        // Without a notification area the user was never asked: the question stays open.
        const bool taskbar = sysTray_ && sysTray_->IsCheckedMenuItem(kShowInTaskBar);
        if (trayAvailable_)
            writeSetting(recorder_.settings(), settings::kTaskbar, taskbar ? "-1" : "0");
        writeSetting(recorder_.settings(), settings::kAnzeigen,
                     isVisible() && !isMinimized() ? "-1" : "0");
    });
    runStep([&] {
        if (sysTray_) sysTray_->close();
        sysTray_.reset();
    });
    runStep([&] { SaveWindowPos(this, recorder_.settings(), kPlacement); });
    runStep([&] {
        // Ends the program after this handler: with the window gone, nothing is left to end.
        QTimer::singleShot(0, this, [this] {
            if (endProgram_) endProgram_();
        });
    });
}

void Bravolt_Hauptfenster::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || unloading_) return;
    const bool keepInTaskbar = !sysTray_ || sysTray_->IsCheckedMenuItem(kShowInTaskBar);
    if (isMinimized() && trayAvailable_ && !keepInTaskbar) {
        // Only the tray icon remains.
        QTimer::singleShot(0, this, [this] {
            if (!isMinimized()) return;
            hide();
            setTaskbarButton(false);
        });
    }
    savePlacement();
}

void Bravolt_Hauptfenster::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (monitorOpen()) {
        // The monitor takes what the window grows by.
        lProtokoll_->resize(lProtokoll_->width(),
                            std::max(0, height() - lProtokoll_->y() - monitorBottomMargin_));
    }
    savePlacement();
}

void Bravolt_Hauptfenster::savePlacement() {
    if (loaded_ && !unloading_) SaveWindowPos(this, recorder_.settings(), kPlacement);
}

bool Bravolt_Hauptfenster::eventFilter(QObject* watched, QEvent* event) {
    if (watched == protokollzeile_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        !unreadWarnings_.isEmpty()) {
        // Read: the next unread warning, or the last log line, takes the place.
        unreadWarnings_.removeFirst();
        showWarnings();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vqs
