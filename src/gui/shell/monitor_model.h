#pragma once

#include "common/kursart.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <array>
#include <deque>

namespace vqs {

struct TitelDef;

// The rows of the quote monitor: the latest quotes, oldest first, at most kMaxRows; when full,
// the oldest kTrimRows go at once, so that the list is not trimmed on every tick. Ticks are
// taken as they come and shown at the next flush, in one insertion; a row's texts are made only
// when the view asks for them.
class MonitorModel final : public QAbstractTableModel {
public:
    static constexpr int kMaxRows = 1000;
    static constexpr int kTrimRows = 100;
    static constexpr int kColumns = 8;

    explicit MonitorModel(QObject* parent = nullptr);

    void append(const TitelDef& def, Kursart kind, float kurs, float volume, double zeit);
    // Shows the rows appended since the last flush; false when there were none.
    bool flush();
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static bool rightAligned(int column);

private:
    struct Row {
        QString name, wkn, boerse;
        Kursart kind;
        float kurs;
        float volume;
        double zeit;
    };
    QString text(const Row& row, int column) const;

    QLocale locale_;  // the user's decimal sign; no grouping, as a price board shows them
    std::deque<Row> rows_;
    std::deque<Row> pending_;
};

// Draws the monitor's cells from the texts the model laid out; the view draws the rows.
class MonitorDelegate final : public QStyledItemDelegate {
public:
    explicit MonitorDelegate(const MonitorModel& model, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), model_(model) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const MonitorModel& model_;
};

}  // namespace vqs
