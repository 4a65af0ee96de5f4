#pragma once

#include "common/kursart.h"
#include "gui/shell/sys_tray.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vqs {

class MonitorModel;
class Recorder;
struct TitelDef;

// The program's one main window and owner of the tray icon: active titles, recorded quotes, the
// data folder and, on request, the monitor of the latest quotes. It shows what the recording core
// reports, at most once per turn of the event loop. Closing it ends the program.
class Bravolt_Hauptfenster final : public QWidget, public SysTrayEvents {
    Q_OBJECT
public:
    // Tray indices of the menu items.
    enum TrayItem {
        kOpen = 0,
        kTitelauswahl = 2,
        kVerwaltung = 3,
        kShowInTaskBar = 5,
        kBeenden = 7
    };

    Bravolt_Hauptfenster(Recorder& recorder, QWidget* parent = nullptr);
    ~Bravolt_Hauptfenster() override;

    // The dialogs of the buttons, set by the program as far as they exist (before
    // finishStartup and InitSysTray, which enable what is there).
    void setOpenTitelauswahl(std::function<void()> open) { openTitelauswahl_ = std::move(open); }
    void setOpenVerwaltung(std::function<void()> open) { openVerwaltung_ = std::move(open); }
    void setOpenDateninspektor(std::function<void()> open) {
        openDateninspektor_ = std::move(open);
    }
    // Ends the program after the unload steps (by default: leaves the event loop).
    void setEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }
    // "/K": quitting asks nothing.
    bool ohneRueckfrage() const { return ohneRueckfrage_; }
    void setOhneRueckfrage(bool on) { ohneRueckfrage_ = on; }
    // Asked when the user ends the program, after the quit question: false keeps it running
    // (the user kept a Dateninspektor window with unsaved edits open).
    void setMayQuit(std::function<bool()> mayQuit) { mayQuit_ = std::move(mayQuit); }
    // A close while the program is still starting: start-up is to stop.
    void setCloseDuringStartup(std::function<void()> stop) {
        closeDuringStartup_ = std::move(stop);
    }

    // Puts the icon into the notification area and applies the saved tray and taskbar settings.
    // shell: the platform's tray; trayAvailable: whether the desktop has a notification area
    // (without one the window is never hidden, or the program could not be reached).
    void InitSysTray(TrayShell& shell, bool trayAvailable);
    frmSysTray* sysTray() const { return sysTray_.get(); }

    // Start-up's last touches: the data folder, hidden start-up controls, enabled window.
    void finishStartup(const QString& datenpfad);
    // The unload steps: stop the data stream, close the session, store the settings.
    void unload();

    void setStartInfo(const QString& text);
    void TitelInfoAktualisieren();
    // A recorded tick: into the monitor while it is open.
    void Protokolleintrag(const TitelDef& def, Kursart kind, float kurs, float volume, double zeit);

    // SysTrayEvents
    void MenuClick(std::int32_t index, const QString& key) override;
    void SysTrayMouseDown(TrayButton button) override;
    void SysTrayMouseUp(TrayButton button) override;

    // The quotes recorded since start, as the label shows them.
    double Kursanzahl() const;
    bool monitorOpen() const;
    const MonitorModel& monitor() const { return *monitorModel_; }

    // The button handlers, also reached from the tray menu.
    void btnTitelauswahl_Click();
    void btnVerwaltung_Click();
    void btnProtokoll_Click();
    // Shown, restored, raised and active (the tray's "Open", a second start).
    void showAndActivate();
    // Warnings of the log that the user has not read yet; the log line shows the oldest of them
    // instead of the last line until a click on it marks it as read.
    const QStringList& unreadWarnings() const { return unreadWarnings_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    bool askToQuit();
    void setTaskbarButton(bool on);
    void savePlacement();
    // Shows what changed since the last turn of the event loop: counter, monitor, warnings.
    void scheduleRefresh();
    void refresh();
    void showWarnings();

    Recorder& recorder_;
    std::function<void()> openTitelauswahl_;
    std::function<void()> openVerwaltung_;
    std::function<void()> openDateninspektor_;
    std::function<void()> endProgram_;
    bool ohneRueckfrage_ = false;
    std::function<bool()> mayQuit_;
    std::function<void()> closeDuringStartup_;
    QLabel* image1_;
    QLabel* titelinfoLabel_;
    QLabel* kursdescriptionLabel_;
    QLabel* labelkurse_;
    QLineEdit* txtOrdner_;
    QLabel* startinfo_;
    QLabel* warnzeile_;
    QLabel* protokollzeile_;
    QString protokoll_;           // the last log line, with its time
    QStringList unreadWarnings_;  // with their times, oldest first
    QProgressBar* fortschrittAnzeige_;
    QLabel* label1_;
    QTableView* lProtokoll_;
    MonitorModel* monitorModel_;
    QPushButton* btnTitelauswahl_;
    QPushButton* btnVerwaltung_;
    QPushButton* btnDateninspektor_;
    QPushButton* btnProtokoll_;
    QPushButton* btnInfo_;
    QPushButton* btnHilfe_;

    QSize start_;  // the collapsed size, at load
    int monitorBottomMargin_ = 0;
    std::unique_ptr<frmSysTray> sysTray_;
    bool trayAvailable_ = false;
    bool unloading_ = false;
    bool started_ = false;
    bool loaded_ = false;  // placement is saved only once the window has its place
    bool refreshPending_ = false;
};

}  // namespace vqs
