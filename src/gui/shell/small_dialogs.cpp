#include "gui/shell/small_dialogs.h"

#include "gui/shell/app_icon.h"
#include "gui/shell/dialog_parts.h"
#include "gui/shell/help_viewer.h"
#include "recording/connection_watchdog.h"
#include "recording/recorder.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vqs {

frmVQSEinstellungen::frmVQSEinstellungen(const RecorderOptions& options, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmVQSEinstellungen"));
    setWindowTitle(QStringLiteral("Allgemeine Einstellungen"));
    auto* frame1 = new QGroupBox(QStringLiteral("Bei Kursen ohne Umsatz"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    filter0_ = makeCheckBox(
        QStringLiteral(" &Bezahlt-Kurse nicht aufzeichnen"), "optUmsatzfilter(0)",
        QStringLiteral("Wenn aktiviert, werden Bezahlt-Kurse ohne Umsatz nicht aufgezeichnet"),
        frame1);
    filter1_ =
        makeCheckBox(QStringLiteral(" &Andere Kursarten nicht aufzeichnen"), "optUmsatzfilter(1)",
                     QStringLiteral("Wenn aktiviert, werden Geld/Brief/OpenInt-Kurse ohne "
                                    "Umsatz nicht aufgezeichnet"),
                     frame1);
    auto* l1 = new QVBoxLayout(frame1);
    l1->addWidget(filter0_);
    l1->addWidget(filter1_);

    auto* frame3 = new QGroupBox(QStringLiteral("Optionen"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    datenpflege_ =
        makeCheckBox(QStringLiteral(" Datenpflege automatisch &starten"), "optDatenpflege",
                     QStringLiteral("Startet beim Programmstart automatisch die "
                                    "Datenpflege für alle aktivierten Titel"),
                     frame3);
    wiederverbinden_ = makeCheckBox(QStringLiteral(" Verbindung automatisch &wiederherstellen"),
                                    "optWiederverbinden",
                                    QStringLiteral("Meldet sich nach einem Verbindungsverlust "
                                                   "selbst wieder an und lädt die fehlenden "
                                                   "Bezahlt-Kurse nach"),
                                    frame3);
    auto* l3 = new QVBoxLayout(frame3);
    l3->addWidget(datenpflege_);
    l3->addWidget(wiederverbinden_);

    const auto [hilfe, okay, abbruch, buttons] = makeDialogButtons(QStringLiteral("OK"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addWidget(frame3);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    filter0_->setChecked(options.UmsatzFilterBezahlt);
    filter1_->setChecked(options.UmsatzFilterAndere);
    datenpflege_->setChecked(options.AutoDatenpflege);
    wiederverbinden_->setChecked(options.AutoWiederverbinden);

    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
    connect(hilfe, &QPushButton::clicked, this, [this] { showHelp(this, help::kEinstellungen); });
    installHelpKey(this, help::kEinstellungen);
}

bool frmVQSEinstellungen::umsatzfilterBezahlt() const { return filter0_->isChecked(); }
bool frmVQSEinstellungen::umsatzfilterAndere() const { return filter1_->isChecked(); }
bool frmVQSEinstellungen::datenpflege() const { return datenpflege_->isChecked(); }
bool frmVQSEinstellungen::wiederverbinden() const { return wiederverbinden_->isChecked(); }

void EinstellungenBearbeiten(QWidget* parent, Recorder& recorder) {
    frmVQSEinstellungen dialog(recorder.options(), parent);
    if (dialog.exec() != QDialog::Accepted) return;
    recorder.options().UmsatzFilterBezahlt = dialog.umsatzfilterBezahlt();
    recorder.options().UmsatzFilterAndere = dialog.umsatzfilterAndere();
    recorder.options().AutoDatenpflege = dialog.datenpflege();
    recorder.options().AutoWiederverbinden = dialog.wiederverbinden();
    auto box = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    writeSetting(recorder.settings(), settings::kUmsatzFilterBezahlt,
                 box(dialog.umsatzfilterBezahlt()));
    writeSetting(recorder.settings(), settings::kUmsatzFilterAndere,
                 box(dialog.umsatzfilterAndere()));
    writeSetting(recorder.settings(), settings::kAutoDatenpflege, box(dialog.datenpflege()));
    writeSetting(recorder.settings(), settings::kAutoWiederverbinden,
                 box(dialog.wiederverbinden()));
    recorder.connection().poll();  // an outage under way follows the switch at once
}

frmStartHinweis::frmStartHinweis(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmStartHinweis"));
    setWindowTitle(QStringLiteral("Hinweis"));
    setWindowIcon(programIcon());

    auto* image2 = new QLabel(this);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->setPixmap(programIcon().pixmap(48, 48));
    image2->setAlignment(Qt::AlignTop);
    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setWordWrap(true);
    image1->setTextFormat(Qt::RichText);
    image1->setMinimumWidth(430);
    image1->setText(QStringLiteral(
        "<h3>Hinweis zu Tradomir VQS für Bravolt-API</h3>"
        "<p>Diese Ausgabe von Tradomir VQS verbindet das Analyseprogramm <b>Tradomir</b> über die "
        "Programmierschnittstelle von Quesna Bravolt mit den Push-Kursen des Brokers.</p>"
        "<p>Wenn Sie Ihre Daten aus anderen Kursquellen beziehen &ndash; aus anderen "
        "Datenprodukten oder von Realtime-Datenanbietern, die über eine DDE-Schnittstelle "
        "angebunden sind &ndash;, starten Sie bitte stattdessen die entsprechende andere Ausgabe "
        "von Tradomir VQS.</p>"));
    auto* top = new QHBoxLayout;
    top->addWidget(image2, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addWidget(image1, 1);

    auto* picture1 = new QFrame(this);
    picture1->setObjectName(QStringLiteral("picture1"));
    picture1->setFrameShape(QFrame::StyledPanel);
    nichtMehr_ = new QCheckBox(QStringLiteral(" &Hinweis &beim nächsten Start nicht mehr anzeigen"),
                               picture1);
    nichtMehr_->setObjectName(QStringLiteral("optNichtmehrAnzeigen"));
    answerEveryMnemonic(nichtMehr_);  // Alt+H and Alt+B
    auto* abbrechen = makeButton(QStringLiteral("Abbrechen"), "btnAbbrechen", picture1);
    auto* okay = makeButton(QStringLiteral("OK"), "Okay", picture1);
    okay->setToolTip(QStringLiteral("Schließt den Dialog und speichert alle Einstellungen ab"));
    okay->setDefault(true);
    auto* bottom = new QHBoxLayout(picture1);
    bottom->addWidget(nichtMehr_);
    bottom->addStretch();
    bottom->addWidget(okay);
    bottom->addWidget(abbrechen);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(picture1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmStartHinweis::nichtMehrAnzeigen() const { return nichtMehr_->isChecked(); }

void frmStartHinweis::closeEvent(QCloseEvent* event) {
    // Closed by its frame, the window unloads: the box reads unticked again.
    nichtMehr_->setChecked(false);
    QDialog::closeEvent(event);
}

QString versionText(int major, int minor, int revision) {
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmTradomirInfo::frmTradomirInfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTradomirInfo"));
    setWindowTitle(QStringLiteral("Über Tradomir VQS"));
    auto* picture1 = new QLabel(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setPixmap(productPicture(400, 80));

    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(programIcon().pixmap(32, 32));
    auto* lblTitle = new QLabel(QStringLiteral("Tradomir    VQS für Bravolt-API"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont f = lblTitle->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.2);
    lblTitle->setFont(f);
    auto* lblVersion =
        new QLabel(versionText(VQS_VERSION_MAJOR, VQS_VERSION_MINOR, VQS_VERSION_PATCH), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    auto* crfeld = new QLabel(QStringLiteral("Realtime-Kursaufzeichnung für Tradomir"), this);
    crfeld->setObjectName(QStringLiteral("crfeld"));
    auto* lblDisclaimer = new QLabel(
        QStringLiteral("Alle Kursdaten ohne Gewähr. Für Vollständigkeit, Richtigkeit und "
                       "Verfügbarkeit der aufgezeichneten Daten wird keine Haftung übernommen. "
                       "Das Programm stellt keine Anlageberatung dar."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    auto* cmdOK = makeButton(QStringLiteral("OK"), "cmdOK", this);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* head = new QHBoxLayout;
    head->addWidget(image1, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(crfeld);
    head->addLayout(texts, 1);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addWidget(cmdOK, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture1);
    layout->addLayout(head);
    layout->addWidget(line);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace vqs
