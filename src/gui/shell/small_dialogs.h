#pragma once

#include <QDialog>

class QCheckBox;

namespace vqs {

class Recorder;
struct RecorderOptions;

// "Allgemeine Einstellungen": the recording options. Accepted when confirmed.
class frmVQSEinstellungen final : public QDialog {
    Q_OBJECT
public:
    frmVQSEinstellungen(const RecorderOptions& options, QWidget* parent = nullptr);
    bool umsatzfilterBezahlt() const;
    bool umsatzfilterAndere() const;
    bool datenpflege() const;
    bool wiederverbinden() const;

private:
    QCheckBox* filter0_;
    QCheckBox* filter1_;
    QCheckBox* datenpflege_;
    QCheckBox* wiederverbinden_;
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
