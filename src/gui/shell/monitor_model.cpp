#include "gui/shell/monitor_model.h"

#include "common/serial_date.h"
#include "model/titel_def.h"

#include <QLocale>
#include <QPainter>

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
    pending_.push_back({def.Name, def.WKN, def.RT_Boerse, kind, kurs, volume, zeit});
}

bool MonitorModel::flush() {
    if (pending_.empty()) return false;
    // As if each row came on its own: whenever there were more than kMaxRows, the oldest
    // kTrimRows went. Rows that would go at once are never shown.
    const auto total = static_cast<qsizetype>(rows_.size() + pending_.size());
    qsizetype drop = 0;
    if (total > kMaxRows) drop = (total - kMaxRows + kTrimRows - 1) / kTrimRows * kTrimRows;
    const auto fromRows = std::min<qsizetype>(drop, static_cast<qsizetype>(rows_.size()));
    if (fromRows > 0) {
        beginRemoveRows({}, 0, static_cast<int>(fromRows) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + fromRows);
        endRemoveRows();
    }
    pending_.erase(pending_.begin(), pending_.begin() + (drop - fromRows));
    if (!pending_.empty()) {
        const int at = static_cast<int>(rows_.size());
        beginInsertRows({}, at, at + static_cast<int>(pending_.size()) - 1);
        rows_.insert(rows_.end(), std::make_move_iterator(pending_.begin()),
                     std::make_move_iterator(pending_.end()));
        endInsertRows();
    }
    pending_.clear();
    return true;
}

void MonitorModel::clear() {
    beginResetModel();
    rows_.clear();
    pending_.clear();
    endResetModel();
}

QString MonitorModel::text(const Row& row, int column) const {
    switch (column) {
        case kNameColumn:
            return row.name;
        case kWknColumn:
            return row.wkn;
        case kBoerseColumn:
            return row.boerse;
        case kUhrzeitColumn:
            return timeText(row.zeit);
        case kVolumeColumn:
            return locale_.toString(row.volume, 'g', 9);
        default: {
            const int priceColumn = row.kind == kGeld    ? kGeldColumn
                                    : row.kind == kBrief ? kBriefColumn
                                                         : kBezahltColumn;
            return column == priceColumn ? locale_.toString(row.kurs, 'g', 7) : QString();
        }
    }
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

bool MonitorModel::rightAligned(int column) { return column >= kGeldColumn; }

void MonitorDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;
    constexpr int kMargin = 3;
    const QRect cell = option.rect.adjusted(kMargin, 0, -kMargin, 0);
    const QFontMetrics metrics(option.font);
    const int width =
        MonitorModel::rightAligned(index.column()) ? metrics.horizontalAdvance(text) : 0;
    const int x =
        MonitorModel::rightAligned(index.column()) ? cell.right() + 1 - width : cell.left();
    const int y = cell.top() + (cell.height() + metrics.ascent() - metrics.descent()) / 2;
    painter->save();
    painter->setClipRect(cell);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(x, y, text);
    painter->restore();
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    if (role == Qt::DisplayRole)
        return text(rows_[static_cast<size_t>(index.row())], index.column());
    if (role == Qt::TextAlignmentRole && rightAligned(index.column()))
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
