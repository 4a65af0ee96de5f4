#include "gui/backfill/datenpflege_fenster.h"

#include "common/error.h"
#include "common/number_text.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "gui/shell/dialog_parts.h"
#include "gui/shell/help_viewer.h"
#include "recording/recorder.h"
#include "recording/settings_store.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTime>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace vqs {
namespace {

template <typename Control>
Control* makeNamed(const QString& caption, const char* name, QWidget* parent) {
    auto* c = new Control(caption, parent);
    c->setObjectName(QString::fromUtf8(name));
    return c;
}

// A stored day fraction may carry a date part and seconds; the field shows, and the run
// takes, the time of day in whole minutes.
QTime timeOfDay(double fraction) {
    const double part = std::abs(std::fmod(fraction, 1.0));
    const long long seconds = std::llround(part * 86400.0) % 86400;
    return QTime(0, 0).addSecs(static_cast<int>(seconds / 60 * 60));
}

}  // namespace

frmDatenpflegeOptionen::frmDatenpflegeOptionen(const SettingsStore& settings, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmDatenpflegeOptionen"));
    setWindowTitle(QStringLiteral("Datenpflege"));

    auto* frame1 = new QGroupBox(QStringLiteral("Kursarten"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* bezahlt = makeNamed<QCheckBox>(QStringLiteral(" &Bezahlt"), "optBezahlt", frame1);
    bezahlt->setChecked(true);
    auto* kinds = new QVBoxLayout(frame1);
    kinds->addWidget(bezahlt);
    kinds->addWidget(makeNamed<QCheckBox>(QStringLiteral(" &Geld"), "optGeld", frame1));
    kinds->addWidget(makeNamed<QCheckBox>(QStringLiteral(" B&rief"), "optBrief", frame1));
    kinds->addStretch();

    auto* frame2 = new QGroupBox(QStringLiteral("Aktualisierung ab"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    zeitfeld_ = new QTimeEdit(frame2);
    zeitfeld_->setObjectName(QStringLiteral("Zeitfeld"));
    zeitfeld_->setDisplayFormat(QStringLiteral("HH:mm"));
    zeitfeld_->setToolTip(QStringLiteral(
        "Gibt an, um wieviel Uhr die Aktualisierung am ersten Aktualisierungstag beginnt"));
    auto* datumfeld = new QDateEdit(frame2);
    datumfeld->setObjectName(QStringLiteral("Datumfeld"));
    datumfeld->setCalendarPopup(true);
    auto* zeit = new QLabel(QStringLiteral("&Zeit"), frame2);
    zeit->setBuddy(zeitfeld_);
    auto* datum = new QLabel(QStringLiteral("&Datum"), frame2);
    datum->setBuddy(datumfeld);
    auto* fields = new QGridLayout(frame2);
    fields->addWidget(zeit, 0, 0);
    fields->addWidget(zeitfeld_, 0, 1);
    fields->addWidget(datum, 1, 0);
    fields->addWidget(datumfeld, 1, 1);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(2, 1);

    auto* label2 = new QLabel(
        QStringLiteral(
            "Hinweis: Bravolt stellt die Bezahlt-Tickdaten des aktuellen Tages zur Verfügung"),
        this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setWordWrap(true);

    const auto [hilfe, okay, abbruch, buttons] = makeDialogButtons(QStringLiteral("Starten"), this);

    auto* frames = new QHBoxLayout;
    frames->addWidget(frame1);
    frames->addWidget(frame2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addWidget(label2);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The hint wraps rather than widening the dialog; the buttons keep a gap.
    label2->setFixedWidth(qMax(frames->sizeHint().width(), 340));

    const QString stored = readSetting(settings, settings::kBravoltUhrzeit);
    zeitfeld_->setTime(timeOfDay(parseLocaleNumber(stored).value_or(0.0)));
    datumfeld->setDate(QDate::currentDate());
    zeitfeld_->setFocus();

    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
    connect(hilfe, &QPushButton::clicked, this,
            [this] { showHelp(this, help::kDatenpflegeOptionen); });
    installHelpKey(this, help::kDatenpflegeOptionen);
}

double frmDatenpflegeOptionen::startzeit() const { return serialFromTime(zeitfeld_->time()); }

void frmDatenpflegeOptionen::speichern(SettingsStore& settings) const {
    // 16 significant digits read back to the same minute in any locale.
    writeSetting(settings, settings::kBravoltUhrzeit, QString::number(startzeit(), 'g', 16));
}

frmKursartWahl::frmKursartWahl(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmKursartWahl"));
    setWindowTitle(QStringLiteral("Kursart für Dateninspektor wählen"));

    auto* frame1 = new QGroupBox(QStringLiteral("Kursart wählen"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* kinds = new QVBoxLayout(frame1);
    const char* const captions[] = {" Be&zahlt", " &Geld", " &Brief"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "optKursart(" + QByteArray::number(i) + ")";
        optKursart_[i] =
            makeNamed<QRadioButton>(QString::fromUtf8(captions[i]), name.constData(), frame1);
        optKursart_[i]->installEventFilter(this);
        kinds->addWidget(optKursart_[i]);
    }
    optKursart_[kBezahlt]->setChecked(true);

    auto* okay = makeButton(QStringLiteral("OK"), "Okay", this);
    okay->setDefault(true);
    auto* abbruch = makeButton(QStringLiteral("Abbrechen"), "Abbruch", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okay);
    buttons->addWidget(abbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
}

Kursart frmKursartWahl::kursart() const {
    if (optKursart_[kBezahlt]->isChecked()) return kBezahlt;
    if (optKursart_[kGeld]->isChecked()) return kGeld;
    return kBrief;
}

bool frmKursartWahl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (auto* option = qobject_cast<QRadioButton*>(watched)) {
            // The kind double-clicked is the one confirmed, whether or not a click checked it.
            option->setChecked(true);
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

frmDatenpflegeFortschritt::frmDatenpflegeFortschritt(MessagePresenter& messages, Run run,
                                                     std::vector<TitelDef> aktualTitel,
                                                     double startzeit, QWidget* parent)
    : QDialog(parent),
      messages_(messages),
      run_(std::move(run)),
      aktualTitel_(std::move(aktualTitel)),
      startzeit_(startzeit) {
    setObjectName(QStringLiteral("frmDatenpflegeFortschritt"));
    setWindowTitle(QStringLiteral("Tradomir VQS Datenpflege mit Bravolt"));

    auto* layout = new QVBoxLayout(this);
    auto makeLabel = [&](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromUtf8(name));
        label->setTextFormat(Qt::PlainText);  // title names are not markup
        label->setMinimumWidth(400);
        label->setMinimumHeight(label->fontMetrics().height());  // no jump when text arrives
        layout->addWidget(label);
        return label;
    };
    titellabel_ = makeLabel("Titellabel");
    statuslabel_ = makeLabel("Statuslabel");
    kursartlabel_ = makeLabel("Kursartlabel");
    datumlabel_ = makeLabel("Datumlabel");

    fortschritt_ = new QProgressBar(this);
    fortschritt_->setObjectName(QStringLiteral("Fortschritt"));
    fortschritt_->setTextVisible(false);
    btnAbbruch_ = makeButton(QStringLiteral("&Abbrechen"), "btnAbbruch", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnAbbruch_);
    layout->addSpacing(4);
    layout->addWidget(fortschritt_);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(btnAbbruch_, &QPushButton::clicked, this, &frmDatenpflegeFortschritt::askToCancel);
    installHelpKey(this, help::kDatenpflege);
}

void frmDatenpflegeFortschritt::titel(const QString& text) { titellabel_->setText(text); }
void frmDatenpflegeFortschritt::status(const QString& text) { statuslabel_->setText(text); }
void frmDatenpflegeFortschritt::kursart(const QString& text) { kursartlabel_->setText(text); }
void frmDatenpflegeFortschritt::datum(const QString& text) { datumlabel_->setText(text); }
void frmDatenpflegeFortschritt::progressMaximum(int maximum) { fortschritt_->setMaximum(maximum); }
void frmDatenpflegeFortschritt::progress(int value) { fortschritt_->setValue(value); }
void frmDatenpflegeFortschritt::cancelEnabled(bool enabled) { btnAbbruch_->setEnabled(enabled); }
// Paints the window and lets "Abbrechen" be pressed while the run goes on.
void frmDatenpflegeFortschritt::yield() { QCoreApplication::processEvents(); }

void frmDatenpflegeFortschritt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once the window is on screen and its modal loop runs.
    QTimer::singleShot(0, this, &frmDatenpflegeFortschritt::start);
}

void frmDatenpflegeFortschritt::start() {
    if (state_ == State::kRunning) return;
    if (state_ == State::kWaiting) {
        state_ = State::kRunning;
        if (abbruch_)
            result_.cancelled = true;
        else
            result_ = run_(aktualTitel_, startzeit_, *this);
        state_ = State::kEnded;
    }
    // Shown again after the end: there is nothing more to do.
    finish();
}

void frmDatenpflegeFortschritt::finish() {
    accept();
    if (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

void frmDatenpflegeFortschritt::askToCancel() {
    if (messages_.ShowMessage(QStringLiteral("Datenpflege jetzt abbrechen?"), msg::kYesNo) ==
        msg::kResultJa)
        abbruch_ = true;
}

void frmDatenpflegeFortschritt::reject() {
    if (state_ == State::kEnded) QDialog::reject();
}

void frmDatenpflegeFortschritt::closeEvent(QCloseEvent* event) {
    if (state_ == State::kEnded) {
        QDialog::closeEvent(event);
        return;
    }
    // The run ends the window itself, after the current title's file is complete.
    event->ignore();
    askToCancel();
}

void DatenpflegeAusfuehren(Recorder& recorder, std::vector<TitelDef> titles, double startzeit,
                           QWidget* parent) {
    try {
        frmDatenpflegeFortschritt fortschritt(
            recorder.messages(),
            [&recorder](const std::vector<TitelDef>& list, double from,
                        DatenpflegeProgress& progress) {
                return recorder.datenpflege().run(list, from, progress);
            },
            std::move(titles), startzeit, parent);
        fortschritt.exec();
    } catch (const std::exception& e) {
        recorder.messages().ShowMessage(QStringLiteral("Fehler aufgetreten: ") + fehlerText(e),
                                        msg::kOk);
    }
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace vqs
