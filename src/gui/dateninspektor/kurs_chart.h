#pragma once

#include "datafiles/data_file_document.h"

#include <QHash>
#include <QImage>
#include <QLine>
#include <QStaticText>
#include <QVarLengthArray>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace vqs {

// Price and volume over time. One pair of points per pixel column is drawn (the lowest and the
// highest price in its span) and one volume bar, so millions of records draw as fast as a few
// hundred; the widget paints itself, a repaint after a zoom costs a fraction of a millisecond.
// Zoom with the wheel, pan by dragging; a click chooses the record nearest to its time.
class KursChart final : public QWidget {
    Q_OBJECT
public:
    explicit KursChart(DataFileDocument& doc, QWidget* parent = nullptr);

    // Shows all records.
    void showAll();
    // Draws the records anew for the span shown (after edits or appended records).
    void redraw();
    // The span of time shown (serial days as in the file).
    void setRange(double fromZeit, double toZeit);
    double fromZeit() const { return from_; }
    double toZeit() const { return to_; }
    // The columns computed for the last paint.
    int drawnColumns() const { return static_cast<int>(columns_.size()); }
    // Where a record's price is drawn.
    QPoint pointOf(double zeit, double kurs) const;
    QRect plotRect() const { return plot_; }

    QSize sizeHint() const override { return {600, 400}; }

Q_SIGNALS:
    void recordChosen(std::int64_t row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void decimate() const;
    void layOut();
    double zeitAt(int x) const;
    int xOf(double zeit) const;
    // Draws a text with its point of `alignment` at `at`; the laid-out texts are kept.
    void label(QPainter& p, QPoint at, const QString& text, Qt::Alignment alignment);
    // A mark on an axis: where, and its text (a time's date below it).
    struct Tick {
        int at = 0;
        QString text, second;
    };
    std::vector<Tick> timeTicks() const;
    // Round values from `lo` to `hi` on a scale from `lo` (the bottom) to `top`.
    std::vector<Tick> valueTicks(double lo, double hi, double top, int wanted) const;
    void paintPlot(QPainter& p, const std::vector<Tick>& zeiten, const std::vector<Tick>& kurse);

    DataFileDocument& doc_;
    double from_ = 0, to_ = 1;
    QRect plot_;  // the area of the records, inside the axes
    // Computed when painted after a change of span, width or records.
    mutable bool stale_ = true;
    mutable std::vector<ChartColumn> columns_;
    mutable double kursLo_ = 0, kursHi_ = 1, volumeTop_ = 0;
    QHash<QString, QStaticText> texts_;
    // The pixel columns of the last paint, kept for the next (no allocation per paint).
    struct Spalten {
        std::vector<int> kursVon, kursBis, volumeVon;
        std::vector<QRgb> grund, gitter;
    };
    Spalten spalten_;
    QImage canvas_;                   // the plot's pixels
    QVarLengthArray<QLine, 16> far_;  // joins of columns more than a pixel apart
    QPoint pressedAt_;
    double pressedFrom_ = 0, pressedTo_ = 0;
    bool dragging_ = false;
};

}  // namespace vqs
