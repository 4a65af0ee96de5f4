#pragma once

#include "common/kursart.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <array>
#include <deque>

namespace vqs {

struct TitelDef;

// The rows of the quote monitor: the latest quotes, oldest first, at most kMaxRows; when full,
// the oldest kTrimRows go at once, so that the list is not trimmed on every tick.
class MonitorModel final : public QAbstractTableModel {
public:
    static constexpr int kMaxRows = 1000;
    static constexpr int kTrimRows = 100;
    static constexpr int kColumns = 8;

    explicit MonitorModel(QObject* parent = nullptr);

    void append(const TitelDef& def, Kursart kind, float kurs, float volume, double zeit);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QLocale locale_;  // the user's decimal sign; no grouping, as a price board shows them
    std::deque<std::array<QString, kColumns>> rows_;
};

}  // namespace vqs
