#pragma once

#include <QWidget>

#include <cstdint>

class QCustomPlot;
class QCPGraph;

namespace vqs {

class DataFileDocument;

// Price and volume over time. Only one point pair per pixel column is drawn (the lowest and the
// highest price in its span), so millions of records draw as fast as a few hundred. Zoom with
// the wheel, pan by dragging; a click chooses the record at that time.
class KursChart final : public QWidget {
    Q_OBJECT
public:
    explicit KursChart(DataFileDocument& doc, QWidget* parent = nullptr);

    // Shows all records.
    void showAll();
    // Draws the records anew for the axis range shown (after edits or appended records).
    void redraw();
    void setRange(double fromZeit, double toZeit);
    QCustomPlot* plot() const { return plot_; }
    // The columns computed by the last redraw.
    int drawnColumns() const { return drawnColumns_; }

    static double axisFromZeit(double zeit);
    static double zeitFromAxis(double axis);

Q_SIGNALS:
    void recordChosen(std::int64_t row);

private:
    void decimate();

    DataFileDocument& doc_;
    QCustomPlot* plot_;
    QCPGraph* kurs_;
    QCPGraph* volume_;
    int drawnColumns_ = 0;
    int decimatedWidth_ = -1;
    QPoint pressedAt_;
    bool inDecimate_ = false;
};

}  // namespace vqs
