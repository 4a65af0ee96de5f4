#include "gui/shell/monitor_model.h"

#include "common/serial_date.h"
#include "titles/titel_def.h"

#include <QLocale>

namespace vqs {
namespace {

enum Column {
    kNameColumn,
    kWknColumn,
    kBoerseColumn,
    kUhrzeitColumn,
    kGeldColumn,
    kBezahltColumn,
    kBriefColumn,
    kVolumeColumn
};

QString timeText(double zeit) {
    std::optional<SerialParts> p = splitSerial(zeit);
    if (!p) return {};
    const QString time = p->time.toString(QStringLiteral("HH:mm:ss"));
    return zeit < 1.0 ? time : p->date.toString(QStringLiteral("dd.MM.yyyy ")) + time;
}

}  // namespace

MonitorModel::MonitorModel(QObject* parent) : QAbstractTableModel(parent) {
    locale_.setNumberOptions(QLocale::OmitGroupSeparator);
}

void MonitorModel::append(const TitelDef& def, Kursart kind, float kurs, float volume,
                          double zeit) {
    std::array<QString, kColumns> row;
    row[kNameColumn] = def.Name;
    row[kWknColumn] = def.WKN;
    row[kBoerseColumn] = def.RT_Boerse;
    row[kUhrzeitColumn] = timeText(zeit);
    const int priceColumn =
        kind == kGeld ? kGeldColumn : (kind == kBrief ? kBriefColumn : kBezahltColumn);
    row[static_cast<size_t>(priceColumn)] = locale_.toString(kurs, 'g', 7);
    row[kVolumeColumn] = locale_.toString(volume, 'g', 9);

    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
    if (static_cast<int>(rows_.size()) > kMaxRows) {
        beginRemoveRows({}, 0, kTrimRows - 1);
        rows_.erase(rows_.begin(), rows_.begin() + kTrimRows);
        endRemoveRows();
    }
}

void MonitorModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    if (role == Qt::DisplayRole)
        return rows_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    if (role == Qt::TextAlignmentRole && index.column() >= kGeldColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kColumns] = {"Name", "WKN",     "Börse", "Uhrzeit",
                                                   "Geld", "Bezahlt", "Brief", "Volume"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kHeaders[section]);
    if (role == Qt::TextAlignmentRole && section >= kGeldColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

}  // namespace vqs
