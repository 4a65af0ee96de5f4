#include "gui/dateninspektor/kurs_chart.h"

#include "datafiles/data_file_document.h"

#include <QVBoxLayout>
#include "gui/dateninspektor/qcustomplot_include.h"

#include <cmath>

namespace vqs {
namespace {
// Serial day 25569 is 1970-01-01; the axis counts seconds from there, of the local clock time as
// it stands in the file (shown as UTC, so that no time zone shifts it).
constexpr double kUnixEpochSerial = 25569.0;
}  // namespace

double KursChart::axisFromZeit(double zeit) { return (zeit - kUnixEpochSerial) * 86400.0; }
double KursChart::zeitFromAxis(double axis) { return axis / 86400.0 + kUnixEpochSerial; }

KursChart::KursChart(DataFileDocument& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), plot_(new QCustomPlot(this)) {
    plot_->setObjectName(QStringLiteral("Chart"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat(QStringLiteral("dd.MM.\nhh:mm:ss"));
    plot_->xAxis->setTicker(ticker);
    plot_->yAxis->setLabel(QStringLiteral("Kurs"));
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setLabel(QStringLiteral("Volumen"));

    volume_ = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    volume_->setLineStyle(QCPGraph::lsImpulse);
    volume_->setPen(QPen(QColor(150, 170, 200)));
    kurs_ = plot_->addGraph(plot_->xAxis, plot_->yAxis);
    kurs_->setPen(QPen(QColor(20, 60, 160)));
    kurs_->setAdaptiveSampling(false);  // already one pair per pixel column

    // One pair of points per pixel column needs no smoothing, and draws several times faster.
    plot_->setNotAntialiasedElements(QCP::aeAll);
    plot_->setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->axisRect()->setRangeDrag(Qt::Horizontal);
    plot_->axisRect()->setRangeZoom(Qt::Horizontal);
    connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { decimate(); });
    // The columns follow the plot's width: a new width is drawn again, right after the layout
    // that gave it (the first layout comes after the first decimation).
    connect(plot_, &QCustomPlot::afterLayout, this, [this] {
        if (plot_->axisRect()->width() != decimatedWidth_)
            QMetaObject::invokeMethod(this, &KursChart::decimate, Qt::QueuedConnection);
    });
    connect(plot_, &QCustomPlot::mousePress, this,
            [this](QMouseEvent* e) { pressedAt_ = e->pos(); });
    connect(plot_, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* e) {
        if ((e->pos() - pressedAt_).manhattanLength() > 3 || doc_.count() == 0) return;
        const double zeit = zeitFromAxis(plot_->xAxis->pixelToCoord(e->pos().x()));
        Q_EMIT recordChosen(std::min(doc_.lowerBound(zeit), doc_.count() - 1));
    });
}

void KursChart::showAll() {
    double lo = INFINITY, hi = -INFINITY;
    for (const DataFileDocument::Block& b : doc_.blocks()) {
        lo = std::min(lo, b.zeitMin);
        hi = std::max(hi, b.zeitMax);
    }
    if (!(lo <= hi)) {
        plot_->xAxis->setRange(0, 1);
        return;
    }
    if (hi - lo < 1.0 / 86400) hi = lo + 1.0 / 86400;  // a single record still has a span
    const double margin = (hi - lo) * 0.01;
    setRange(lo - margin, hi + margin);
}

void KursChart::setRange(double fromZeit, double toZeit) {
    const QCPRange wanted(axisFromZeit(fromZeit), axisFromZeit(toZeit));
    if (plot_->xAxis->range() == wanted)
        decimate();  // rangeChanged does not come for the same range
    else
        plot_->xAxis->setRange(wanted);
}

void KursChart::redraw() { decimate(); }

void KursChart::decimate() {
    if (inDecimate_) return;
    inDecimate_ = true;
    const QCPRange range = plot_->xAxis->range();
    decimatedWidth_ = plot_->axisRect()->width();
    const int columns = std::max(1, decimatedWidth_);
    const std::vector<ChartColumn> cols =
        doc_.decimate(zeitFromAxis(range.lower), zeitFromAxis(range.upper), columns);
    drawnColumns_ = static_cast<int>(cols.size());
    QVector<double> keys, prices, vKeys, volumes;
    keys.reserve(static_cast<qsizetype>(cols.size() * 2));
    prices.reserve(keys.capacity());
    vKeys.reserve(static_cast<qsizetype>(cols.size()));
    volumes.reserve(vKeys.capacity());
    double lo = INFINITY, hi = -INFINITY, vMax = 0;
    for (const ChartColumn& c : cols) {
        const double x = axisFromZeit(c.zeit);
        keys << x << x;
        prices << c.kursMin << c.kursMax;
        vKeys << x;
        volumes << c.volume;
        lo = std::min<double>(lo, c.kursMin);
        hi = std::max<double>(hi, c.kursMax);
        vMax = std::max(vMax, c.volume);
    }
    kurs_->setData(keys, prices, true);
    volume_->setData(vKeys, volumes, true);
    if (lo <= hi) {
        const double pad = std::max((hi - lo) * 0.05, std::abs(hi) * 1e-4 + 1e-9);
        plot_->yAxis->setRange(lo - pad, hi + pad);
    }
    // The volume bars take the lower third.
    plot_->yAxis2->setRange(0, vMax > 0 ? vMax * 3 : 1);
    plot_->replot(QCustomPlot::rpQueuedReplot);
    inDecimate_ = false;
}

}  // namespace vqs
