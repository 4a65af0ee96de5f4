#include "gui/titles/titel_auswahl_dialog.h"

#include "gui/shell/app_icon.h"
#include "gui/shell/help_viewer.h"
#include "gui/shell/list_sort.h"
#include "recording/recorder.h"
#include "titles/titel_aktivierung.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vqs {
namespace {

enum TitelColumn { kAktiv, kName, kWkn, kBoersenplatz };
constexpr int kIconRole = Qt::UserRole + 1;

const struct {
    const char* key;
    const char* text;
} kKataloge[] = {{"Dax30", "Dax 30"},
                 {"TecDax30", "TecDax 30"},
                 {"EuroStoxx50", "Euro Stoxx 50"},
                 {"SDax", "SDax"},
                 {"MDax", "MDax"}};

// Sorting by the icon column orders by what is recorded; the other columns by their text.
class TitelRow final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == kAktiv)
            return data(kAktiv, kIconRole).toInt() < other.data(kAktiv, kIconRole).toInt();
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }
};

QLabel* buddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

frmTitelauswahl::frmTitelauswahl(Recorder& recorder, QWidget* parent)
    : QDialog(parent), recorder_(recorder) {
    setObjectName(QStringLiteral("frmTitelauswahl"));
    setWindowTitle(QStringLiteral("Titel zur Aufzeichnung auswählen"));
    buildControls();
    lKatalogBoersenplatz_->setCurrentIndex(0);
    wertpapierarten_ = {{"Aktien", "S"}, {"Warrants", "W"}, {"Zertifikate", "C"},
                        {"Fonds", "F"},  {"Indizes", "I"},  {"Futures", "U"},
                        {"Bonds", "B"},  {"Andere", "X"},   {"Alle", ""}};
    ShowKataloge();
}

void frmTitelauswahl::buildControls() {
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromUtf8(name));
        return w;
    };
    karteikasten_ = new QTabBar(this);
    named(karteikasten_, "Karteikasten");
    karteikasten_->addTab(QStringLiteral("&Kursliste"));
    karteikasten_->addTab(QStringLiteral("S&uchen"));
    karteikasten_->setExpanding(false);

    katalograhmen_ = new QFrame(this);
    named(katalograhmen_, "Katalograhmen");
    lKatalogliste_ = new QTreeWidget(katalograhmen_);
    named(lKatalogliste_, "lKatalogliste");
    lKatalogliste_->setColumnCount(1);
    lKatalogliste_->setHeaderLabels({QStringLiteral("Kursliste")});
    lKatalogliste_->setRootIsDecorated(false);
    lKatalogliste_->setMinimumHeight(140);
    lKatalogBoersenplatz_ = new QComboBox(katalograhmen_);
    named(lKatalogBoersenplatz_, "LKatalogbörsenplatz");
    lKatalogBoersenplatz_->addItems(
        {QStringLiteral("Standard"), QStringLiteral("Xetra"), QStringLiteral("Frankfurt")});
    auto* katalogLayout = new QVBoxLayout(katalograhmen_);
    katalogLayout->setContentsMargins(0, 0, 0, 0);
    katalogLayout->addWidget(lKatalogliste_, 1);
    katalogLayout->addWidget(
        buddyLabel(QStringLiteral("Für &Börsenplatz"), lKatalogBoersenplatz_, katalograhmen_));
    katalogLayout->addWidget(lKatalogBoersenplatz_);

    suchRahmen_ = new QFrame(this);
    named(suchRahmen_, "SuchRahmen");
    suchbegriffFeld_ = new QLineEdit(suchRahmen_);
    named(suchbegriffFeld_, "SuchbegriffFeld");
    lWertpapierart_ = new QComboBox(suchRahmen_);
    named(lWertpapierart_, "lWertpapierart");
    lBoersenplaetze_ = new QComboBox(suchRahmen_);
    named(lBoersenplaetze_, "LBörsenplätze");
    lSuchSpeicherOrdner_ = new QComboBox(suchRahmen_);
    named(lSuchSpeicherOrdner_, "LSuchSpeicherOrdner");
    lSuchSpeicherOrdner_->setEditable(true);
    lSuchSpeicherOrdner_->setInsertPolicy(QComboBox::NoInsert);
    btnSuchen_ = new QPushButton(QStringLiteral("&Suchen!"), suchRahmen_);
    named(btnSuchen_, "btnSuchen");
    // Return in the search field searches through the field alone: were the button the
    // dialog's default as well, one Return would search twice.
    btnSuchen_->setAutoDefault(false);
    auto* hint = new QLabel(QStringLiteral("Geben Sie bitte an, welcher Börsenplatz für die "
                                           "gefundenen Titel verwendet soll"),
                            suchRahmen_);
    hint->setWordWrap(true);
    QFont small = hint->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    hint->setFont(small);
    auto* suchLayout = new QVBoxLayout(suchRahmen_);
    suchLayout->setContentsMargins(0, 0, 0, 0);
    suchLayout->addWidget(
        buddyLabel(QStringLiteral("Such&begriff"), suchbegriffFeld_, suchRahmen_));
    suchLayout->addWidget(suchbegriffFeld_);
    suchLayout->addWidget(
        buddyLabel(QStringLiteral("&Wertpapierart"), lWertpapierart_, suchRahmen_));
    suchLayout->addWidget(lWertpapierart_);
    suchLayout->addWidget(
        buddyLabel(QStringLiteral("Verwende &Börsenplatz"), lBoersenplaetze_, suchRahmen_));
    suchLayout->addWidget(lBoersenplaetze_);
    suchLayout->addWidget(hint);
    suchLayout->addWidget(buddyLabel(QStringLiteral("Daten speichern &in Ordner"),
                                     lSuchSpeicherOrdner_, suchRahmen_));
    suchLayout->addWidget(lSuchSpeicherOrdner_);
    suchLayout->addSpacing(6);
    suchLayout->addWidget(btnSuchen_, 0, Qt::AlignRight);
    suchLayout->addStretch();
    suchRahmen_->hide();

    lTitelliste_ = new QTreeWidget(this);
    named(lTitelliste_, "lTitelliste");
    lTitelliste_->setColumnCount(4);
    lTitelliste_->setHeaderLabels({QStringLiteral("Aktiv"), QStringLiteral("Name"),
                                   QStringLiteral("WKN"), QStringLiteral("Börsenplatz")});
    lTitelliste_->setRootIsDecorated(false);
    lTitelliste_->setUniformRowHeights(true);
    lTitelliste_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lTitelliste_->setColumnWidth(kAktiv, 44);
    lTitelliste_->setColumnWidth(kName, 250);
    lTitelliste_->setColumnWidth(kWkn, 80);
    lTitelliste_->setMinimumWidth(520);
    sortiereBeiSpaltenklick(lTitelliste_);
    sortiereBeiSpaltenklick(lKatalogliste_);

    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        named(b, name);
        b->setAutoDefault(false);
        return b;
    };
    auto* btnReal = button("btnRealAktivieren", QStringLiteral("&Bezahlt aktivieren"));
    auto* btnBidAsk = button("btnAktivierenBidAsk", QStringLiteral("&Alle Kursarten aktivieren"));
    auto* btnDeakt = button("btnDeaktivieren", QStringLiteral("&Deaktivieren"));
    auto* btnHilfe = button("btnHilfe", QStringLiteral("Hilfe"));
    auto* okay = button("Okay", QStringLiteral("Schließen"));
    okay->setToolTip(QStringLiteral("Schließt den Dialog und speichert alle Einstellungen ab"));

    auto* left = new QVBoxLayout;
    left->addWidget(karteikasten_);
    left->addWidget(katalograhmen_, 1);
    left->addWidget(suchRahmen_, 1);
    auto* leftBox = new QWidget(this);
    leftBox->setLayout(left);
    leftBox->setFixedWidth(250);
    left->setContentsMargins(0, 0, 0, 0);

    auto* top = new QHBoxLayout;
    top->addWidget(leftBox);
    top->addWidget(lTitelliste_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnReal);
    bottom->addWidget(btnBidAsk);
    bottom->addWidget(btnDeakt);
    bottom->addStretch();
    bottom->addWidget(btnHilfe);
    bottom->addWidget(okay);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(860, 540);

    // A click and Alt+K / Alt+U alike change the current tab; the page follows it.
    connect(karteikasten_, &QTabBar::currentChanged, this, [this](int i) {
        if (i >= 0) showPage(i);
    });
    connect(lKatalogliste_, &QTreeWidget::itemClicked, this, [this] { ShowTitelinKatalog(); });
    connect(lKatalogliste_, &QTreeWidget::itemActivated, this, [this] { ShowTitelinKatalog(); });
    connect(lKatalogBoersenplatz_, qOverload<int>(&QComboBox::activated), this, [this] {
        if (lKatalogliste_->topLevelItemCount() > 0) ShowTitelinKatalog();
    });
    connect(btnSuchen_, &QPushButton::clicked, this, [this] { btnSuchen_Click(); });
    connect(suchbegriffFeld_, &QLineEdit::returnPressed, this, [this] { btnSuchen_Click(); });
    connect(btnReal, &QPushButton::clicked, this, [this] { TitelAktivieren(true, false); });
    connect(btnBidAsk, &QPushButton::clicked, this, [this] { TitelAktivieren(true, true); });
    connect(btnDeakt, &QPushButton::clicked, this, [this] { TitelAktivieren(false, false); });
    connect(btnHilfe, &QPushButton::clicked, this, [this] { showHelp(this, help::kTitelauswahl); });
    installHelpKey(this, help::kTitelauswahl);
    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
}

void frmTitelauswahl::ShowKataloge() {
    BusyGuard wait(recorder_.loop());
    lKatalogliste_->clear();
    for (const auto& k : kKataloge) {
        auto* row = new QTreeWidgetItem(lKatalogliste_, {QString::fromUtf8(k.text)});
        row->setData(0, Qt::UserRole, QString::fromUtf8(k.key));
    }
    lKatalogliste_->setCurrentItem(nullptr);
    lKatalogliste_->clearSelection();

    lSuchSpeicherOrdner_->clear();
    lSuchSpeicherOrdner_->addItem(QStringLiteral("Such-Auswahl"));
    for (const auto& e : recorder_.titles().folders()) {
        if (e.value != QLatin1String("Such-Auswahl")) lSuchSpeicherOrdner_->addItem(e.value);
    }
    lSuchSpeicherOrdner_->setCurrentIndex(0);

    lWertpapierart_->clear();
    for (const auto& [name, letter] : wertpapierarten_) lWertpapierart_->addItem(name);
    lWertpapierart_->setCurrentIndex(lWertpapierart_->count() - 1);

    boersencodes_.clear();
    lBoersenplaetze_->clear();
    try {
        broker::BrokerSession* session = recorder_.session().SF();
        if (!session) return;
        // Only exchanges whose code may be used are listed, so box and codes stay aligned.
        for (const broker::Exchange& e : session->exchanges()) {
            if (!e.admitted) continue;
            boersencodes_ << e.code;
            lBoersenplaetze_->addItem(e.showDisplayName ? e.displayName : e.code);
        }
    } catch (const VqsError& e) {
        recorder_.messages().ShowMessage(QStringLiteral("Fehler aufgetreten: ") + e.message(),
                                         msg::kOk);
    }
    if (lBoersenplaetze_->count() > 0) {
        const qsizetype etr = boersencodes_.indexOf(QStringLiteral("ETR"));
        lBoersenplaetze_->setCurrentIndex(etr >= 0 ? static_cast<int>(etr) : 0);
    }
}

void frmTitelauswahl::selectTab(int index) {
    if (karteikasten_->currentIndex() == index)
        showPage(index);
    else
        karteikasten_->setCurrentIndex(index);
}

void frmTitelauswahl::showPage(int index) {
    if (index == 0) {
        suchRahmen_->hide();
        katalograhmen_->show();
        katalograhmen_->raise();
        lKatalogliste_->headerItem()->setText(0, QStringLiteral("Kataloge"));
    } else {
        katalograhmen_->hide();
        lKatalogliste_->setCurrentItem(nullptr);
        lKatalogliste_->clearSelection();
        suchRahmen_->show();
        suchRahmen_->raise();
    }
    lTitelliste_->clear();
    // What the page is for takes the keys: the catalogues, or the search term.
    if (index == 0)
        lKatalogliste_->setFocus();
    else
        suchbegriffFeld_->setFocus();
}

QTreeWidgetItem* frmTitelauswahl::newRow(const QString& name, const QString& wkn,
                                         const QString& boerse, const QString& iconKey) const {
    auto* row = new TitelRow;
    const TitelIcon icon = titelIcon(recorder_.titles().find(iconKey));
    row->setIcon(kAktiv, titelRowIcon(icon));
    row->setData(kAktiv, kIconRole, static_cast<int>(icon));
    row->setText(kName, name);
    row->setText(kWkn, wkn);
    row->setText(kBoersenplatz, boerse);
    row->setData(kAktiv, Qt::UserRole, TitelId(wkn, boerse).text());  // the row's tag
    return row;
}

void frmTitelauswahl::setRows(QList<QTreeWidgetItem*> rows) {
    lTitelliste_->setUpdatesEnabled(false);
    lTitelliste_->clear();
    lTitelliste_->addTopLevelItems(rows);
    sortiereWieZuletzt(lTitelliste_);
    lTitelliste_->setUpdatesEnabled(true);
}

void frmTitelauswahl::ShowTitelinKatalog() {
    QTreeWidgetItem* katalog = lKatalogliste_->currentItem();
    if (!katalog || !katalog->isSelected() || !recorder_.session().loggedIn()) return;
    BusyGuard wait(recorder_.loop());
    std::vector<broker::Identifier> constituents;
    try {
        setRows({new QTreeWidgetItem(
            QStringList{QString(), QStringLiteral("Ladevorgang, bitte warten...")})});
        recorder_.loop().yield();
        broker::BrokerSession* session = recorder_.session().SF();
        if (!session) return;
        constituents = session->runIndexList({katalog->data(0, Qt::UserRole).toString()});
        lTitelliste_->clear();
        if (constituents.empty()) return;
    } catch (const VqsError& e) {
        lTitelliste_->clear();
        recorder_.messages().ShowMessage(QStringLiteral("Fehler aufgetreten: ") + e.message(),
                                         msg::kOk);
        return;
    }
    std::vector<broker::Instrument> instruments;
    try {
        instruments = recorder_.session().SF()->queryInstruments(constituents);
    } catch (const VqsError&) {
        // rows stay empty where the broker could not answer
    }
    const int choice = lKatalogBoersenplatz_->currentIndex();
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i < instruments.size() && i < constituents.size(); ++i) {
        const broker::Identifier& c = constituents[i];
        const QString boerse = choice == 1   ? QStringLiteral("ETR")
                               : choice == 2 ? QStringLiteral("FRA")
                                             : c.exchange;
        // The icon tells what is recorded of the constituent on its own exchange.
        rows << newRow(instruments[i].name, instruments[i].wkn, boerse,
                       TitelId(instruments[i].wkn, c.exchange).text());
    }
    setRows(rows);
    lKatalogliste_->headerItem()->setText(
        0, QStringLiteral("Katalog (%1 Titel)").arg(constituents.size()));
    recorder_.loop().yield();
}

void frmTitelauswahl::btnSuchen_Click() {
    if (suchbegriffFeld_->text().isEmpty()) {
        recorder_.messages().ShowMessage(
            QStringLiteral("Geben Sie bitte zunächst einen Suchbegriff ein."), msg::kOk);
        suchbegriffFeld_->setFocus();
        return;
    }
    std::vector<broker::Instrument> result;
    {
        BusyGuard wait(recorder_.loop());
        try {
            broker::BrokerSession* session = recorder_.session().SF();
            if (!session)
                throw broker::BrokerError(QStringLiteral("Keine Verbindung zur Bravolt-API."));
            broker::SearchCriteria criteria;
            criteria.term = suchbegriffFeld_->text();
            const int cls = lWertpapierart_->currentIndex();
            if (cls >= 0 && cls < static_cast<int>(wertpapierarten_.size()) &&
                !wertpapierarten_[static_cast<size_t>(cls)].second.isEmpty())
                criteria.classLetter = wertpapierarten_[static_cast<size_t>(cls)].second;
            result = session->search(criteria);
        } catch (const VqsError& e) {
            recorder_.messages().ShowMessage(
                QStringLiteral("Fehler bei der Suche aufgetreten: ") + e.message(), msg::kOk);
            return;
        }
    }
    ShowSuchergebnisTitel(result);
}

void frmTitelauswahl::ShowSuchergebnisTitel(const std::vector<broker::Instrument>& suchergebnis) {
    lTitelliste_->clear();
    const int n = lBoersenplaetze_->currentIndex();
    const QString boerse = n >= 0 && n < boersencodes_.size() ? boersencodes_[n] : QString();
    if (suchergebnis.empty()) {
        const int answer = recorder_.messages().ShowMessage(
            QStringLiteral("Keine Titel gefunden! Möchten Sie diesen Titel manuell zufügen?"),
            msg::kYesNo);
        if (answer != msg::kResultJa) return;
        // A title the search does not know: the broker decides at activation whether it exists.
        const QString code = suchbegriffFeld_->text().trimmed().toUpper();
        if (code.isEmpty()) return;
        setRows({newRow(suchbegriffFeld_->text().trimmed(), code, boerse,
                        TitelId(code, boerse).text())});
        return;
    }
    BusyGuard wait(recorder_.loop());
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(suchergebnis.size()));
    for (const broker::Instrument& i : suchergebnis)
        rows << newRow(i.name, i.wkn, boerse, TitelId(i.wkn, boerse).text());
    setRows(rows);
    recorder_.loop().yield();
}

void frmTitelauswahl::TitelAktivieren(bool bezahlt, bool bidAsk) {
    const bool ausSuche = karteikasten_->currentIndex() == 1;
    QString ordner;
    if (!ausSuche) {
        QTreeWidgetItem* katalog = lKatalogliste_->currentItem();
        if (!katalog || !katalog->isSelected()) {
            recorder_.messages().ShowMessage(
                QStringLiteral("Fehler aufgetreten: Es ist kein Katalog markiert."), msg::kOk);
            return;
        }
        ordner = katalog->text(0);
    } else {
        ordner = lSuchSpeicherOrdner_->currentText();
    }
    std::vector<QTreeWidgetItem*> markedRows;
    std::vector<TitelZeile> marked;
    for (int i = 0; i < lTitelliste_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lTitelliste_->topLevelItem(i);
        if (!row->isSelected()) continue;
        markedRows.push_back(row);
        marked.push_back({row->data(kAktiv, Qt::UserRole).toString(), row->text(kName),
                          row->text(kWkn), row->text(kBoersenplatz)});
    }
    const AktivierungsErgebnis result =
        TitelAktivierenAuswahl(recorder_.titles(), {recorder_.messages(), recorder_.loop()}, marked,
                               ordner, ausSuche, bezahlt, bidAsk);
    if (result.stopped) {
        lSuchSpeicherOrdner_->setFocus();
        return;
    }
    for (size_t i = 0; i < markedRows.size() && i < result.icons.size(); ++i) {
        markedRows[i]->setIcon(kAktiv, titelRowIcon(result.icons[i]));
        markedRows[i]->setData(kAktiv, kIconRole, static_cast<int>(result.icons[i]));
    }
}

}  // namespace vqs
