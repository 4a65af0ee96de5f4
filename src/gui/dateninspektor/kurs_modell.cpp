#include "gui/dateninspektor/kurs_modell.h"

#include "common/serial_date.h"
#include "gui/dateninspektor/undo_befehle.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QUndoStack>

#include <cmath>

namespace vqs {

KursModell::KursModell(DataFileDocument& doc, QUndoStack& undo, QObject* parent)
    : QAbstractTableModel(parent), doc_(doc), undo_(undo) {}

int KursModell::rowCount(const QModelIndex& parent) const {
    // A view counts rows in int: beyond that the file is shown up to there.
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::int64_t>(doc_.count(), INT_MAX));
}

int KursModell::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString KursModell::zeitText(double zeit) {
    // Digit by digit: a formatted date costs more than the rest of a table row. The date and
    // time as they stand in the file (no time zone shifts them).
    const std::optional<SerialParts> t = splitSerial(zeit);
    if (!t || t->date.year() < 1 || t->date.year() > 9999) return QString::number(zeit, 'g', 17);
    char16_t text[] = u"00.00.0000 00:00:00.000";
    auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = static_cast<char16_t>(u'0' + value % 10);
    };
    put(0, t->date.day(), 2);
    put(3, t->date.month(), 2);
    put(6, t->date.year(), 4);
    put(11, t->time.hour(), 2);
    put(14, t->time.minute(), 2);
    put(17, t->time.second(), 2);
    put(20, t->time.msec(), 3);
    return QString::fromUtf16(text, std::size(text) - 1);
}

QVariant KursModell::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const std::int64_t row = index.row();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const KursSatz s = doc_.record(row);
        const QLocale locale;
        switch (index.column()) {
            case kZeit:
                return zeitText(s.Zeit);
            case kKurs:
                return locale.toString(static_cast<double>(s.Kurs), 'g', 7);
            case kVolume:
                return locale.toString(static_cast<double>(s.Volume), 'g', 7);
            default:
                return {};
        }
    }
    if (role == Qt::BackgroundRole && doc_.isFaulty(row)) return QBrush(QColor(255, 200, 200));
    if (role == Qt::ToolTipRole && doc_.isFaulty(row))
        return QStringLiteral(
            "Fehlerhafter Satz: früher als der Satz davor, Kurs keine Zahl oder "
            "Volumen negativ");
    if (role == Qt::TextAlignmentRole && index.column() != kZeit)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant KursModell::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    switch (section) {
        case kZeit:
            return QStringLiteral("Zeit");
        case kKurs:
            return QStringLiteral("Kurs");
        case kVolume:
            return QStringLiteral("Volumen");
        default:
            return {};
    }
}

Qt::ItemFlags KursModell::flags(const QModelIndex& index) const {
    // Edits wait for the opening pass: they change what it sums up.
    return QAbstractTableModel::flags(index) |
           (doc_.isRead() ? Qt::ItemIsEditable : Qt::ItemFlags());
}

std::optional<KursSatz> KursModell::withText(KursSatz satz, int column, const QString& text) {
    const QString t = text.trimmed();
    if (column == kZeit) {
        const QDateTime dt = QDateTime::fromString(t, QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"));
        std::optional<double> z;
        if (dt.isValid())
            z = serialFromDateTime(dt);
        else
            z = serialFromTimeText(t);
        if (!z || *z < 1.0) return std::nullopt;  // a date belongs to every record
        satz.Zeit = *z;
        return satz;
    }
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok) v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    if (column == kKurs) satz.Kurs = static_cast<float>(v);
    if (column == kVolume) satz.Volume = static_cast<float>(v);
    return satz;
}

bool KursModell::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !doc_.isRead()) return false;
    const KursSatz old = doc_.record(index.row());
    const std::optional<KursSatz> neu = withText(old, index.column(), value.toString());
    if (!neu) return false;
    if (*neu == old) return true;
    undo_.push(new SatzAendern(*this, index.row(), *neu));
    return true;
}

void KursModell::setRecord(std::int64_t row, const KursSatz& satz) {
    doc_.set(row, satz);
    // The next row's order mark may change too.
    const int last = static_cast<int>(std::min<std::int64_t>(row + 1, doc_.count() - 1));
    Q_EMIT dataChanged(index(static_cast<int>(row), 0), index(last, kColumns - 1));
    Q_EMIT contentChanged();
}

void KursModell::insertRecord(std::int64_t row, const KursSatz& satz) {
    insertRecords(row, {satz});
}

KursSatz KursModell::removeRecord(std::int64_t row) { return removeRecords(row, 1).front(); }

std::vector<KursSatz> KursModell::removeRecords(std::int64_t first, std::int64_t n) {
    beginRemoveRows({}, static_cast<int>(first), static_cast<int>(first + n - 1));
    std::vector<KursSatz> gone = doc_.removeRange(first, n);
    endRemoveRows();
    Q_EMIT contentChanged();
    return gone;
}

void KursModell::insertRecords(std::int64_t first, const std::vector<KursSatz>& records) {
    beginInsertRows({}, static_cast<int>(first),
                    static_cast<int>(first + static_cast<std::int64_t>(records.size()) - 1));
    doc_.insertRange(first, records);
    endInsertRows();
    Q_EMIT contentChanged();
}

std::int64_t KursModell::refresh() {
    const int before = rowCount();
    const std::int64_t came = doc_.refresh();
    if (came > 0 && rowCount() > before) {
        beginInsertRows({}, before, rowCount() - 1);
        endInsertRows();
        Q_EMIT contentChanged();
    }
    return came;
}

Result<void> KursModell::save(DataFileStore& store) {
    Result<void> saved = doc_.save(store);
    if (saved) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
    return saved;
}

}  // namespace vqs
