#include "gui/shell/small_dialogs.h"

#include "common/password_file.h"
#include "common/process.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/dialog_parts.h"
#include "gui/shell/help_viewer.h"
#include "recording/connection_watchdog.h"
#include "recording/keyring.h"
#include "recording/quote_source.h"
#include "recording/recorder.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vqs {

frmVQSEinstellungen::frmVQSEinstellungen(const RecorderOptions& options,
                                         const KursquelleEinstellungen& kursquelle, QWidget* parent,
                                         Keyring* keyring)
    : QDialog(parent), keyring_(keyring) {
    setObjectName(QStringLiteral("frmVQSEinstellungen"));
    setWindowTitle(QStringLiteral("Allgemeine Einstellungen"));
    auto* seiten = new QTabWidget(this);
    seiten->setObjectName(QStringLiteral("Seiten"));
    auto* aufzeichnung = new QWidget(seiten);
    aufzeichnung->setObjectName(QStringLiteral("Aufzeichnung"));
    auto* frame1 = new QGroupBox(QStringLiteral("Bei Kursen ohne Umsatz"), aufzeichnung);
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

    auto* frame3 = new QGroupBox(QStringLiteral("Optionen"), aufzeichnung);
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

    auto* seite1 = new QVBoxLayout(aufzeichnung);
    seite1->addWidget(frame1);
    seite1->addWidget(frame3);
    seite1->addStretch();
    seiten->addTab(aufzeichnung, QStringLiteral("&Aufzeichnung"));
    seiten->addTab(kursquelleSeite(kursquelle), QStringLiteral("&Kursquelle"));

    const auto [hilfe, okay, abbruch, buttons] = makeDialogButtons(QStringLiteral("OK"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(seiten);
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

QWidget* frmVQSEinstellungen::kursquelleSeite(const KursquelleEinstellungen& k) {
    auto* seite = new QWidget(this);
    seite->setObjectName(QStringLiteral("Kursquelle"));
    art_ = new QComboBox(seite);
    art_->setObjectName(QStringLiteral("cboKursquelle"));
    art_->addItems({QStringLiteral("Simulation (eingebauter Broker)"),
                    QStringLiteral("FIX 4.4 (Kursserver)")});
    art_->setCurrentIndex(k.fix ? 1 : 0);
    auto text = [&](const char* name, const QString& value) {
        auto* edit = new QLineEdit(value, seite);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    auto number = [&](const char* name, int lowest, int highest, int value) {
        auto* box = new QSpinBox(seite);
        box->setObjectName(QLatin1String(name));
        box->setRange(lowest, highest);
        box->setValue(value);
        return box;
    };
    host_ = text("txtHost", k.host);
    port_ = number("spnPort", 0, 65535, k.port);
    port_->setSpecialValueText(QStringLiteral("–"));  // 0: none set yet
    senderCompId_ = text("txtSenderCompID", k.senderCompId);
    targetCompId_ = text("txtTargetCompID", k.targetCompId);
    benutzer_ = text("txtBenutzer", k.benutzer);
    // Never shown: whatever the keyring holds stays there until a new one is typed.
    passwort_ = text("txtPasswort", QString());
    passwort_->setEchoMode(QLineEdit::Password);
    passwort_->setPlaceholderText(QStringLiteral("leer lassen: bleibt wie gespeichert"));
    passwort_->setToolTip(
        QStringLiteral("Wird im Schlüsselbund des Desktops gespeichert, nie in "
                       "den Einstellungen"));
    connect(passwort_, &QLineEdit::textEdited, this, [] { keepOutOfCoreDumps(); });
    passwortDatei_ = text("txtPasswortDatei", k.passwortDatei);
    passwortDatei_->setMinimumWidth(240);
    passwortDatei_->setToolTip(QStringLiteral(
        "Eine Datei, deren erste Zeile das Passwort ist; nur ihr Eigentümer darf sie lesen"));
    auto* waehlen = makeButton(QStringLiteral("..."), "btnPasswortDatei", seite);
    waehlen->setFixedWidth(32);
    connect(waehlen, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Passwortdatei"),
                                                          passwortDatei_->text());
        if (!path.isEmpty()) passwortDatei_->setText(path);
    });
    auto* datei = new QHBoxLayout;
    datei->addWidget(passwortDatei_);
    datei->addWidget(waehlen);
    tls_ = makeCheckBox(QStringLiteral(" &TLS"), "chkTLS",
                        QStringLiteral("Verbindet verschlüsselt (TLS)"), seite);
    tls_->setChecked(k.tls);
    heartbeat_ = number("spnHeartbeat", 1, 3600, k.heartbeat);
    heartbeat_->setSuffix(QStringLiteral(" s"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Quelle:"), art_);
    form->addRow(QStringLiteral("&Host:"), host_);
    form->addRow(QStringLiteral("&Port:"), port_);
    form->addRow(QStringLiteral("&SenderCompID:"), senderCompId_);
    form->addRow(QStringLiteral("Tar&getCompID:"), targetCompId_);
    form->addRow(QStringLiteral("&Benutzer:"), benutzer_);
    form->addRow(QStringLiteral("Pass&wort:"), passwort_);
    auto* dateiLabel = new QLabel(QStringLiteral("Passwort&datei:"), seite);
    dateiLabel->setBuddy(passwortDatei_);  // a row of a layout takes no buddy by itself
    form->addRow(dateiLabel, datei);
    form->addRow(QStringLiteral("H&eartbeat:"), heartbeat_);
    form->addRow(QString(), tls_);
    auto* hinweis =
        new QLabel(QStringLiteral("Ein Wechsel der Quelle gilt ab dem nächsten Programmstart, die "
                                  "Verbindungsdaten ab der nächsten Anmeldung."),
                   seite);
    hinweis->setObjectName(QStringLiteral("lblKursquelleHinweis"));
    hinweis->setWordWrap(true);
    fehler_ = new QLabel(seite);
    fehler_->setObjectName(QStringLiteral("lblKursquelleFehler"));
    fehler_->setWordWrap(true);
    fehler_->setStyleSheet(QStringLiteral("color: #b00000"));
    fehler_->hide();
    auto* layout = new QVBoxLayout(seite);
    layout->addLayout(form);
    layout->addWidget(hinweis);
    layout->addWidget(fehler_);
    layout->addStretch();

    const auto zeigen = [this] {
        const bool fix = art_->currentIndex() == 1;
        for (QWidget* w :
             std::initializer_list<QWidget*>{host_, port_, senderCompId_, targetCompId_, benutzer_,
                                             passwort_, passwortDatei_, tls_, heartbeat_})
            w->setEnabled(fix);
        fehler_->hide();
    };
    connect(art_, &QComboBox::currentIndexChanged, this, zeigen);
    zeigen();
    return seite;
}

KursquelleEinstellungen frmVQSEinstellungen::kursquelle() const {
    KursquelleEinstellungen k;
    k.fix = art_->currentIndex() == 1;
    k.host = host_->text().trimmed();
    k.port = port_->value();
    k.senderCompId = senderCompId_->text().trimmed();
    k.targetCompId = targetCompId_->text().trimmed();
    k.benutzer = benutzer_->text().trimmed();
    k.passwortDatei = passwortDatei_->text().trimmed();
    k.tls = tls_->isChecked();
    k.heartbeat = heartbeat_->value();
    return k;
}

// A FIX source that could not log in is named here, not at the next start.
void frmVQSEinstellungen::accept() {
    const KursquelleEinstellungen k = kursquelle();
    QString problem;
    if (k.fix) {
        if (k.host.isEmpty())
            problem = QStringLiteral("Bitte einen Host angeben.");
        else if (k.port == 0)
            problem = QStringLiteral("Bitte einen Port angeben.");
        else if (k.senderCompId.isEmpty() || k.targetCompId.isEmpty())
            problem = QStringLiteral("Bitte SenderCompID und TargetCompID angeben.");
        else if (!passwort_->text().isEmpty() && k.benutzer.isEmpty())
            problem = QStringLiteral(
                "Ein Passwort gehört zu einem Benutzer: bitte den Benutzer "
                "angeben.");
        else if (!k.passwortDatei.isEmpty()) {
            if (const Result<QString> read = readPassword(k.passwortDatei); !read)
                problem = read.error().text;
        }
        if (problem.isEmpty() && !passwort_->text().isEmpty()) {
            Keyring& keyring = keyring_ ? *keyring_ : desktopKeyring();
            const Keyring::Answer stored =
                keyring.write(kursquelleKeyringKey(k.benutzer, k.host), passwort_->text());
            if (stored.kind != Keyring::Answer::Kind::kDone)
                problem = QStringLiteral(
                              "Das Passwort lässt sich nicht im Schlüsselbund speichern "
                              "(%1). Ohne Schlüsselbund bitte das Feld Passwort leeren "
                              "und eine Passwortdatei angeben.")
                              .arg(stored.text);
            else
                passwort_->clear();
        }
    }
    if (!problem.isEmpty()) {
        fehler_->setText(problem);
        fehler_->show();
        if (auto* seiten = findChild<QTabWidget*>(QStringLiteral("Seiten")))
            seiten->setCurrentIndex(1);
        return;
    }
    QDialog::accept();
}

KursquelleEinstellungen KursquelleEinstellungen::read(const SettingsStore& settings) {
    KursquelleEinstellungen k;
    k.fix = kursquelle(settings) == Kursquelle::kFix;
    k.host = readSetting(settings, settings::kKursquelleHost);
    k.port = std::clamp(readSetting(settings, settings::kKursquellePort).toInt(), 0, 65535);
    k.senderCompId = readSetting(settings, settings::kKursquelleSenderCompId);
    k.targetCompId = readSetting(settings, settings::kKursquelleTargetCompId);
    k.benutzer = readSetting(settings, settings::kKursquelleBenutzer);
    k.passwortDatei = readSetting(settings, settings::kKursquellePasswortDatei);
    k.tls = readSetting(settings, settings::kKursquelleTls).toInt() == 1;
    const int heartbeat = readSetting(settings, settings::kKursquelleHeartbeat).toInt();
    k.heartbeat = heartbeat >= 1 && heartbeat <= 3600 ? heartbeat : 30;
    return k;
}

void KursquelleEinstellungen::write(SettingsStore& settings) const {
    writeSetting(settings, settings::kKursquelleArt,
                 fix ? QStringLiteral("FIX") : QStringLiteral("Simulation"));
    writeSetting(settings, settings::kKursquelleHost, host);
    writeSetting(settings, settings::kKursquellePort, port > 0 ? QString::number(port) : QString());
    writeSetting(settings, settings::kKursquelleSenderCompId, senderCompId);
    writeSetting(settings, settings::kKursquelleTargetCompId, targetCompId);
    writeSetting(settings, settings::kKursquelleBenutzer, benutzer);
    writeSetting(settings, settings::kKursquellePasswortDatei, passwortDatei);
    writeSetting(settings, settings::kKursquelleTls,
                 tls ? QStringLiteral("1") : QStringLiteral("0"));
    writeSetting(settings, settings::kKursquelleHeartbeat, QString::number(heartbeat));
}

bool frmVQSEinstellungen::umsatzfilterBezahlt() const { return filter0_->isChecked(); }
bool frmVQSEinstellungen::umsatzfilterAndere() const { return filter1_->isChecked(); }
bool frmVQSEinstellungen::datenpflege() const { return datenpflege_->isChecked(); }
bool frmVQSEinstellungen::wiederverbinden() const { return wiederverbinden_->isChecked(); }

void EinstellungenBearbeiten(QWidget* parent, Recorder& recorder) {
    frmVQSEinstellungen dialog(recorder.options(),
                               KursquelleEinstellungen::read(recorder.settings()), parent);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.kursquelle().write(recorder.settings());
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
