#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vqs {

class Keyring;
class Recorder;
struct RecorderOptions;

class SettingsStore;

// The "[Kursquelle]" settings as the dialog shows them: texts as stored.
struct KursquelleEinstellungen {
    bool fix = false;
    QString host, senderCompId, targetCompId, benutzer, passwortDatei;
    int port = 0;  // 0: none set
    bool tls = false;
    int heartbeat = 30;
    static KursquelleEinstellungen read(const SettingsStore& settings);
    void write(SettingsStore& settings) const;
};

// "Allgemeine Einstellungen": the recording options on one page, the quote source on the page
// "Kursquelle". Accepted when confirmed and the quote source's settings are usable; a password
// typed there is then in the keyring (it never goes into the settings).
class frmVQSEinstellungen final : public QDialog {
    Q_OBJECT
public:
    // keyring: where a password typed on the page "Kursquelle" goes (none: the desktop's).
    frmVQSEinstellungen(const RecorderOptions& options,
                        const KursquelleEinstellungen& kursquelle = {}, QWidget* parent = nullptr,
                        Keyring* keyring = nullptr);
    bool umsatzfilterBezahlt() const;
    bool umsatzfilterAndere() const;
    bool datenpflege() const;
    bool wiederverbinden() const;
    KursquelleEinstellungen kursquelle() const;

    void accept() override;

private:
    QWidget* kursquelleSeite(const KursquelleEinstellungen& kursquelle);

    QCheckBox* filter0_;
    QCheckBox* filter1_;
    QCheckBox* datenpflege_;
    QCheckBox* wiederverbinden_;
    QComboBox* art_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* senderCompId_;
    QLineEdit* targetCompId_;
    QLineEdit* benutzer_;
    QLineEdit* passwort_;
    QLineEdit* passwortDatei_;
    QCheckBox* tls_;
    QSpinBox* heartbeat_;
    QLabel* fehler_;
    Keyring* keyring_;  // none: the desktop's, asked only when a password is typed
};

// Shows the settings dialog; when confirmed, the options take the boxes at once and are stored.
void EinstellungenBearbeiten(QWidget* parent, Recorder& recorder);

// The hint at start: what this edition of the program is for. Accepted with "OK".
class frmStartHinweis final : public QDialog {
    Q_OBJECT
public:
    explicit frmStartHinweis(QWidget* parent = nullptr);
    bool nichtMehrAnzeigen() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QCheckBox* nichtMehr_;
};

// "Version 2.1.4": the numbers as plain decimals.
QString versionText(int major, int minor, int revision);

// The about box.
class frmTradomirInfo final : public QDialog {
    Q_OBJECT
public:
    explicit frmTradomirInfo(QWidget* parent = nullptr);
};

}  // namespace vqs
