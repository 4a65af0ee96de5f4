#include "gui/titles/titel_verwaltung_dialog.h"

#include "common/error.h"
#include "gui/backfill/datenpflege_fenster.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/dialog_parts.h"
#include "gui/shell/help_viewer.h"
#include "gui/shell/list_sort.h"
#include "gui/shell/small_dialogs.h"
#include "recording/recorder.h"
#include "recording/titel_verwaltung.h"
#include "titles/titel_aktivierung.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace vqs {

enum TitellistenSpalte { kAktiv, kName, kWkn, kBoerse, kKatalog, kSpalten };

// The rows of the title list, as plain values: ten thousand titles list and sort at once.
class TitellistenModell final : public QAbstractTableModel {
public:
    static constexpr int kTagRole = Qt::UserRole;
    static constexpr int kIconRole = Qt::UserRole + 1;

    struct Zeile {
        QString tag;
        TitelIcon icon;
        QString name, wkn, boerse, katalog;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<Zeile> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const Zeile& row(int r) const { return rows_[static_cast<size_t>(r)]; }

    void setIcon(int r, TitelIcon icon) {
        rows_[static_cast<size_t>(r)].icon = icon;
        Q_EMIT dataChanged(index(r, kAktiv), index(r, kAktiv));
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kSpalten;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const Zeile& z = row(index.row());
        switch (role) {
            case Qt::DisplayRole:
                return text(z, index.column());
            case Qt::DecorationRole:
                return index.column() == kAktiv ? QVariant(titelRowIcon(z.icon)) : QVariant();
            case kTagRole:
                return z.tag;
            case kIconRole:
                return static_cast<int>(z.icon);
            default:
                return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const kTitles[kSpalten] = {"Aktiv", "Name", "WKN", "Börse", "Katalog"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= kSpalten)
            return {};
        return QString::fromUtf8(kTitles[section]);
    }
    bool removeRows(int first, int count, const QModelIndex& parent = {}) override {
        if (parent.isValid() || first < 0 || count <= 0 || first + count > rowCount()) return false;
        beginRemoveRows({}, first, first + count - 1);
        rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
        endRemoveRows();
        return true;
    }
    // The icon column sorts by what is recorded, the others by their text; marks and the
    // current row move with their rows.
    void sort(int column, Qt::SortOrder order) override {
        if (column < 0 || column >= kSpalten) return;
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> permutation(rows_.size());
        std::iota(permutation.begin(), permutation.end(), 0);
        auto less = [&](int a, int b) {
            const Zeile& x = rows_[static_cast<size_t>(a)];
            const Zeile& y = rows_[static_cast<size_t>(b)];
            if (column == kAktiv) return x.icon < y.icon;
            return text(x, column).compare(text(y, column), Qt::CaseInsensitive) < 0;
        };
        if (order == Qt::AscendingOrder)
            std::stable_sort(permutation.begin(), permutation.end(), less);
        else
            std::stable_sort(permutation.begin(), permutation.end(),
                             [&](int a, int b) { return less(b, a); });
        std::vector<Zeile> sorted;
        sorted.reserve(rows_.size());
        std::vector<int> newRow(rows_.size());
        for (size_t i = 0; i < permutation.size(); ++i) {
            sorted.push_back(std::move(rows_[static_cast<size_t>(permutation[i])]));
            newRow[static_cast<size_t>(permutation[i])] = static_cast<int>(i);
        }
        rows_ = std::move(sorted);
        const QModelIndexList old = persistentIndexList();
        QModelIndexList moved;
        moved.reserve(old.size());
        for (const QModelIndex& i : old)
            moved << index(newRow[static_cast<size_t>(i.row())], i.column());
        changePersistentIndexList(old, moved);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    static QString text(const Zeile& z, int column) {
        switch (column) {
            case kName:
                return z.name;
            case kWkn:
                return z.wkn;
            case kBoerse:
                return z.boerse;
            case kKatalog:
                return z.katalog;
            default:
                return {};
        }
    }

    std::vector<Zeile> rows_;
};

frmTitelverwaltung::frmTitelverwaltung(Recorder& recorder, InspektorOeffnen openInspektor,
                                       QWidget* parent)
    : QDialog(parent), recorder_(recorder), openInspektor_(std::move(openInspektor)) {
    setObjectName(QStringLiteral("frmTitelverwaltung"));
    setWindowTitle(QStringLiteral("Titelverwaltung"));
    setWindowIcon(programIcon());
    buildControls();
    if (recorder_.titles().definitions().isEmpty())
        for (QPushButton* b : titelButtons_) b->setEnabled(false);
    ZeigeOrdner();
    // The keys go to the titles: an arrow key in the folder box would switch the folder.
    lTitelliste_->setFocus();
}

frmTitelverwaltung::~frmTitelverwaltung() = default;

void frmTitelverwaltung::buildControls() {
    lOrdner_ = new QComboBox(this);
    lOrdner_->setObjectName(QStringLiteral("LOrdner"));
    lOrdner_->setMinimumWidth(220);
    lOrdner_->setMaxVisibleItems(20);
    auto* katalogLabel = new QLabel(QStringLiteral("&Katalog"), this);
    katalogLabel->setBuddy(lOrdner_);

    model_ = new TitellistenModell(this);
    lTitelliste_ = new QTreeView(this);
    lTitelliste_->setObjectName(QStringLiteral("lTitelliste"));
    lTitelliste_->setModel(model_);
    lTitelliste_->setRootIsDecorated(false);
    lTitelliste_->setUniformRowHeights(true);
    lTitelliste_->setAllColumnsShowFocus(true);
    lTitelliste_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lTitelliste_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lTitelliste_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lTitelliste_->setColumnWidth(kAktiv, 44);
    lTitelliste_->setColumnWidth(kName, 240);
    lTitelliste_->setColumnWidth(kWkn, 80);
    lTitelliste_->setColumnWidth(kBoerse, 60);
    lTitelliste_->setMinimumWidth(520);
    sortiereBeiSpaltenklick(lTitelliste_);

    auto button = [this](const QString& caption, const char* name, const QString& tip) {
        QPushButton* b = makeButton(caption, name, this);
        b->setToolTip(tip);
        return b;
    };
    auto* btnReal = button(QStringLiteral("&Bezahlt aktivieren"), "btnRealAktivieren",
                           QStringLiteral("Aktiviert für die markierten Titel die "
                                          "Datenaufzeichnung für Bezahlt-Kurse"));
    auto* btnBidAsk = button(QStringLiteral("&Alle Kursarten aktivieren"), "btnAktivierenBidAsk",
                             QStringLiteral("Aktiviert für die markierten Titel die "
                                            "Datenaufzeichnung für alle Kursarten"));
    auto* btnDeakt =
        button(QStringLiteral("&Deaktivieren"), "btnDeaktivieren",
               QStringLiteral("Deaktiviert die Datenaufzeichnung für die markierten Titel"));
    auto* btnLoeschen = button(QStringLiteral("&Löschen..."), "btnLöschen",
                               QStringLiteral("Löscht die markierten Titel aus der Titelliste"));
    auto* btnDaten = button(QStringLiteral("D&aten..."), "btnDateninspektor",
                            QStringLiteral("Öffnet den Dateninspektor für den gewählten Titel"));
    auto* btnPflege = button(QStringLiteral("Daten&pflege..."), "btnDatenpflege",
                             QStringLiteral("Klicken Sie hier, wenn Sie Tickdaten für die "
                                            "markierten Titel nachladen möchten"));
    auto* btnEinst = makeButton(QStringLiteral("Einstellungen"), "btnEinstellungen", this);
    auto* hilfe = makeButton(QStringLiteral("Hilfe"), "Hilfe", this);
    auto* okay = button(QStringLiteral("&Schließen"), "Okay",
                        QStringLiteral("Schließt den Dialog und speichert alle Einstellungen ab"));
    titelButtons_ = {btnBidAsk, btnDaten, btnDeakt, btnLoeschen, btnPflege, btnReal};

    auto* ordnerZeile = new QHBoxLayout;
    ordnerZeile->addWidget(katalogLabel);
    ordnerZeile->addWidget(lOrdner_);
    ordnerZeile->addStretch();

    auto* rechts = new QVBoxLayout;
    for (QPushButton* b : {btnReal, btnBidAsk, btnDeakt}) rechts->addWidget(b);
    rechts->addSpacing(12);
    for (QPushButton* b : {btnLoeschen, btnDaten, btnPflege}) rechts->addWidget(b);
    rechts->addSpacing(12);
    rechts->addWidget(btnEinst);
    rechts->addStretch();
    rechts->addWidget(hilfe);
    rechts->addWidget(okay);

    auto* mitte = new QHBoxLayout;
    mitte->addWidget(lTitelliste_, 1);
    mitte->addLayout(rechts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ordnerZeile);
    layout->addLayout(mitte, 1);
    resize(860, 520);

    connect(lOrdner_, qOverload<int>(&QComboBox::activated), this, [this] { ShowTitel(); });
    connect(lTitelliste_, &QTreeView::doubleClicked, this, [this] { btnDateninspektor_Click(); });
    connect(btnReal, &QPushButton::clicked, this, [this] { TitelAktivieren(true, false); });
    connect(btnBidAsk, &QPushButton::clicked, this, [this] { TitelAktivieren(true, true); });
    connect(btnDeakt, &QPushButton::clicked, this, [this] { TitelAktivieren(false, false); });
    connect(btnLoeschen, &QPushButton::clicked, this, [this] { btnLoeschen_Click(); });
    connect(btnDaten, &QPushButton::clicked, this, [this] { btnDateninspektor_Click(); });
    connect(btnPflege, &QPushButton::clicked, this, [this] { btnDatenpflege_Click(); });
    connect(btnEinst, &QPushButton::clicked, this, [this] { btnEinstellungen_Click(); });
    connect(hilfe, &QPushButton::clicked, this, [this] { showHelp(this, help::kTitelverwaltung); });
    installHelpKey(this, help::kTitelverwaltung);
    connect(okay, &QPushButton::clicked, this, &QDialog::accept);
}

void frmTitelverwaltung::ZeigeOrdner() {
    runStep([&] {
        const QStringList eintraege = ordnerEintraege(recorder_.titles());
        lOrdner_->clear();
        lOrdner_->addItems(eintraege);
        lOrdner_->setCurrentIndex(gemerkterOrdner(eintraege, recorder_.settings()));
    });
    ShowTitel();
}

void frmTitelverwaltung::ShowTitel() {
    const int position = lOrdner_->currentIndex();
    if (position < 0) return;
    BusyGuard wait(recorder_.loop());
    runStep([&] {
        std::vector<TitellistenModell::Zeile> rows;
        for (const TitelDef& def :
             titelImOrdner(recorder_.titles(), position, lOrdner_->currentText())) {
            rows.push_back(
                {def.id().text(), titelIcon(&def), def.Name, def.WKN, def.RT_Boerse, def.Ordner});
        }
        model_->setRows(std::move(rows));
        sortiereWieZuletzt(lTitelliste_);
    });
}

std::vector<int> frmTitelverwaltung::markierteZeilen() const {
    std::vector<int> rows;
    for (const QModelIndex& i : lTitelliste_->selectionModel()->selectedRows(kAktiv))
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList frmTitelverwaltung::markierteTags() const {
    QStringList tags;
    for (int row : markierteZeilen()) tags << model_->row(row).tag;
    return tags;
}

QString frmTitelverwaltung::gemeinterTag() const {
    const QModelIndex current = lTitelliste_->currentIndex();
    if (current.isValid() && lTitelliste_->selectionModel()->isRowSelected(current.row()))
        return model_->row(current.row()).tag;
    const QStringList marked = markierteTags();
    return marked.isEmpty() ? QString() : marked.front();
}

void frmTitelverwaltung::TitelAktivieren(bool bezahlt, bool bidAsk) {
    const std::vector<int> rows = markierteZeilen();
    std::vector<QString> tags;
    for (int row : rows) tags.push_back(model_->row(row).tag);
    const std::vector<TitelIcon> icons = TitelAktivierenVerwaltung(
        recorder_.titles(), {recorder_.messages(), recorder_.loop()}, tags, bezahlt, bidAsk);
    for (size_t i = 0; i < icons.size() && i < rows.size(); ++i) model_->setIcon(rows[i], icons[i]);
}

void frmTitelverwaltung::btnLoeschen_Click() {
    const int answer = recorder_.messages().ShowMessage(
        QStringLiteral("Sollen die markierten Titel aus der Liste gelöscht werden?") + QChar(13) +
            QStringLiteral("Hinweis: Dabei geht die Information über die ursprüngliche "
                           "Katalog-Zugehörigkeit der Titel verloren."),
        msg::kYesNo | msg::kDefaultButton2);  // Enter alone deletes nothing
    if (answer != msg::kResultJa) return;

    // From the last row to the first, so that the rows left keep their numbers.
    std::vector<int> rows = markierteZeilen();
    std::reverse(rows.begin(), rows.end());
    std::vector<QString> tags;
    for (int row : rows) tags.push_back(model_->row(row).tag);
    TitelLoeschen(recorder_, tags);  // the main window's summary follows the change
    for (int row : rows) model_->removeRows(row, 1);

    const int position = lOrdner_->currentIndex();
    if (model_->rowCount() > 0 || position <= 0) return;
    recorder_.titles().removeFolder(lOrdner_->currentText());
    const int frage = recorder_.messages().ShowMessage(
        QStringLiteral("Dieser Katalog enthält keine Titel mehr. Soll er jetzt aus der "
                       "Titelverwaltung entfernt werden? Wenn Sie 'Nein' klicken, wird der Katalog "
                       "erst beim nächsten Öffnen der Titelverwaltung nicht mehr angezeigt."),
        msg::kYesNo);
    if (frage != msg::kResultJa) return;
    lOrdner_->removeItem(position);
    lOrdner_->setCurrentIndex(0);
    ShowTitel();
}

void frmTitelverwaltung::btnDateninspektor_Click() {
    const QString tag = gemeinterTag();
    if (tag.isEmpty()) {
        recorder_.messages().ShowMessage(
            QStringLiteral("Markieren Sie bitte zunächst einen Titel!"), msg::kOk);
        return;
    }
    try {
        const std::optional<TitelDef> found = recorder_.titles().find(tag);
        if (!found) return;
        const TitelDef def = *found;
        frmKursartWahl wahl(this);
        if (wahl.exec() != QDialog::Accepted) return;
        BusyGuard wait(recorder_.loop());
        const InspektorDatei datei = inspektorDatei(recorder_, def, wahl.kursart());
        if (datei.ohneDaten) {
            const int answer = recorder_.messages().ShowMessage(
                QStringLiteral("Dieser Titel enthält noch keine Daten! Soll die Datendatei jetzt "
                               "angelegt werden?"),
                msg::kYesNo);
            if (answer != msg::kResultJa) return;  // nothing was made, nothing stays behind
            datendateiAnlegen(recorder_, def, wahl.kursart());
        }
        if (!openInspektor_) throw VqsError(QStringLiteral("Der Dateninspektor fehlt."));
        openInspektor_(datei.path, this);
    } catch (const std::exception& e) {
        showError(e);
    }
}

void frmTitelverwaltung::btnDatenpflege_Click() {
    const QStringList tags = markierteTags();
    if (tags.isEmpty()) {
        // A run over no title would only show an empty progress window.
        recorder_.messages().ShowMessage(
            QStringLiteral("Markieren Sie bitte zunächst einen Titel!"), msg::kOk);
        return;
    }
    try {
        frmDatenpflegeOptionen optionen(recorder_.settings(), this);
        if (optionen.exec() != QDialog::Accepted) return;
        optionen.speichern(recorder_.settings());
        std::vector<TitelDef> titles;
        for (const QString& tag : tags)
            if (const std::optional<TitelDef> def = recorder_.titles().find(tag))
                titles.push_back(*def);
        DatenpflegeAusfuehren(recorder_, std::move(titles), optionen.startzeit(), this);
    } catch (const std::exception& e) {
        showError(e);
    }
}

void frmTitelverwaltung::btnEinstellungen_Click() {
    runStep([&] { EinstellungenBearbeiten(this, recorder_); });
}

void frmTitelverwaltung::showError(const std::exception& e) {
    recorder_.messages().ShowMessage(QStringLiteral("Fehler aufgetreten: ") + fehlerText(e),
                                     msg::kOk);
}

void frmTitelverwaltung::done(int result) {
    runStep([&] { ordnerMerken(recorder_.settings(), lOrdner_->currentText()); });
    QDialog::done(result);
}

}  // namespace vqs
