#include "gui/dateninspektor/frm_plv_realtime_titel.h"

#include "common/ui_ports.h"
#include "datafiles/data_file_listing.h"
#include "gui/dateninspektor/ordner_baum.h"
#include "gui/shell/dialog_parts.h"
#include "gui/shell/help_viewer.h"
#include "gui/shell/list_sort.h"
#include "gui/shell/message_dialog.h"
#include "gui/shell/window_placement.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vqs {
namespace {
const QString kPlacement = QStringLiteral("RealtimeTitel");
const QString kColumns = QStringLiteral("VQSFileSelect");
constexpr int kPathRole = Qt::UserRole;
constexpr int kBeschreibungRole = Qt::UserRole + 1;
}  // namespace

FrmPLVRealtimeTitel::FrmPLVRealtimeTitel(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("FrmPLVRealtimeTitel"));
    setWindowTitle(QStringLiteral("Tradomir Realtime-Titel wählen"));
    setMinimumSize(600, 420);
    resize(760, 480);

    auto* label1 = new QLabel(QStringLiteral("Suchen in:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    pfadFeld_ = new QLabel(this);
    pfadFeld_->setObjectName(QStringLiteral("PfadFeld"));
    pfadFeld_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* splitter = new QSplitter(this);
    katalogliste_ = new OrdnerBaum(splitter);
    katalogliste_->setObjectName(QStringLiteral("Katalogliste"));
    titelliste_ = new QTreeWidget(splitter);
    titelliste_->setObjectName(QStringLiteral("Titelliste"));
    titelliste_->setRootIsDecorated(false);
    titelliste_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    titelliste_->setHeaderLabels({QStringLiteral("Titel"), QStringLiteral("WKN")});
    // Column keys of the saved widths.
    titelliste_->headerItem()->setData(0, Qt::UserRole, QStringLiteral("Titel"));
    titelliste_->headerItem()->setData(1, Qt::UserRole, QStringLiteral("WKN"));
    titelliste_->setColumnWidth(0, 300);
    sortiereBeiSpaltenklick(titelliste_);
    splitter->setStretchFactor(1, 2);

    okay_ = makeButton(QStringLiteral("OK"), "Okay", this);
    okay_->setDefault(true);
    abbruch_ = makeButton(QStringLiteral("Abbrechen"), "Abbruch", this);

    auto* top = new QHBoxLayout;
    top->addWidget(label1);
    top->addWidget(pfadFeld_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okay_);
    buttons->addWidget(abbruch_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(katalogliste_, &OrdnerBaum::folderChanged, this, &FrmPLVRealtimeTitel::folderChanged);
    connect(okay_, &QPushButton::clicked, this, &FrmPLVRealtimeTitel::okay);
    connect(abbruch_, &QPushButton::clicked, this, &QDialog::reject);
    connect(titelliste_, &QTreeWidget::itemDoubleClicked, this, &FrmPLVRealtimeTitel::okay);
    installHelpKey(this, help::kDateiauswahl);

    katalogliste_->setFocus();  // the keyboard starts in the folders
    RestoreColumnWidths(titelliste_, settings_, kColumns);
    RestoreWindowPos(this, settings_, kPlacement);
}

FrmPLVRealtimeTitel::~FrmPLVRealtimeTitel() {
    SaveWindowPos(this, settings_, kPlacement);
    SaveColumnWidths(titelliste_, settings_, kColumns);
}

void FrmPLVRealtimeTitel::folderChanged(const QString& path) {
    titelliste_->clear();
    QString folder = path;
    if (!folder.endsWith(QDir::separator()) && !folder.endsWith(QLatin1Char('/')))
        folder += QDir::separator();
    if (!QDir(folder).exists()) return;
    pfadFeld_->setText(QDir::toNativeSeparators(folder).toLower() + QLatin1Char(' '));
    const DataFileListing listing = listDataFiles(folder);
    QList<QTreeWidgetItem*> rows;
    for (const ListedDataFile& file : listing.files) {
        auto* row = new QTreeWidgetItem({file.titel, file.code});
        row->setData(0, kPathRole, file.path);
        row->setData(0, kBeschreibungRole, file.beschreibung);
        rows << row;
    }
    titelliste_->addTopLevelItems(rows);
    sortiereWieZuletzt(titelliste_);
    if (!listing.error.isEmpty())
        ShowMessage(
            QStringLiteral("Fehler beim Wechseln des VQS-Pfades aufgetreten: ") + listing.error,
            msg::kOk, nullptr);
}

QStringList FrmPLVRealtimeTitel::selectedPaths() const {
    QStringList paths;
    for (int i = 0; i < titelliste_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = titelliste_->topLevelItem(i);
        if (row->isSelected()) paths << row->data(0, kPathRole).toString();
    }
    return paths;
}

void FrmPLVRealtimeTitel::okay() {
    if (titelliste_->topLevelItemCount() == 0) {
        ShowMessage(QStringLiteral("Es sind keine Titel ausgewählt!"), msg::kOk, nullptr);
        return;
    }
    if (CountSelectedItems(titelliste_) == 0) {
        if (ShowMessage(QStringLiteral("Möchten Sie alle Titel aus diesem Verzeichnis auswählen?"),
                        msg::kYesNo, nullptr) != msg::kResultJa)
            return;
        titelliste_->selectAll();
    }
    accept();
}

void FrmPLVRealtimeTitel::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (ShowMessage(QStringLiteral("Einstellungen verwerfen?"), msg::kYesNo, nullptr) ==
        msg::kResultJa)
        reject();
}

}  // namespace vqs
