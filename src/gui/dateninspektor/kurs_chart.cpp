#include "gui/dateninspektor/kurs_chart.h"

#include "common/serial_date.h"
#include "common/vector_state.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vqs {
namespace {

constexpr std::int64_t kDayMs = 86'400'000;
const QColor kKursFarbe(20, 60, 160);
const QColor kVolumeFarbe(150, 170, 200);
const QColor kGitterFarbe(225, 225, 225);

// Steps of the time axis in milliseconds: each a round span on a clock or a calendar.
constexpr std::int64_t kTimeSteps[] = {
    1,          2,           5,           10,          20,           50,          100,
    200,        500,         1000,        2000,        5000,         10000,       15000,
    30000,      60000,       120000,      300000,      600000,       900000,      1800000,
    3600000,    7200000,     10800000,    21600000,    43200000,     kDayMs,      2 * kDayMs,
    7 * kDayMs, 14 * kDayMs, 28 * kDayMs, 91 * kDayMs, 182 * kDayMs, 364 * kDayMs};

// A round step (1, 2 or 5 times a power of ten) for about `ticks` ticks over `span`.
double valueStep(double span, int ticks) {
    const double raw = span / std::max(1, ticks);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

int decimalsFor(double step) {
    return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

KursChart::KursChart(DataFileDocument& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    setObjectName(QStringLiteral("Chart"));
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted here
    setMinimumSize(200, 150);
    setCursor(Qt::CrossCursor);
    layOut();
}

void KursChart::layOut() {
    const QFontMetrics fm = fontMetrics();
    const int left = fm.horizontalAdvance(QStringLiteral("0000000,00")) + fm.height() + 10;
    const int right = fm.horizontalAdvance(QStringLiteral("00000000")) + fm.height() + 10;
    const int top = fm.height() / 2 + 6;
    const int bottom = 2 * fm.height() + 10;
    plot_ = QRect(left, top, std::max(10, width() - left - right),
                  std::max(10, height() - top - bottom));
    stale_ = true;
}

void KursChart::showAll() {
    double lo = INFINITY, hi = -INFINITY;
    for (const DataFileDocument::Block& b : doc_.groups()) {
        lo = std::min(lo, b.zeitMin);
        hi = std::max(hi, b.zeitMax);
    }
    if (!(lo <= hi)) {
        setRange(0, 1);
        return;
    }
    if (hi - lo < 1.0 / 86400) hi = lo + 1.0 / 86400;  // a single record still has a span
    const double margin = (hi - lo) * 0.01;
    setRange(lo - margin, hi + margin);
}

void KursChart::setRange(double fromZeit, double toZeit) {
    // Only times that name a date: a hostile record's time (±1e308) must not stretch the axis
    // past what its steps can count.
    fromZeit = std::clamp(fromZeit, kFirstSerial, kEndSerial);
    toZeit = std::clamp(toZeit, kFirstSerial, kEndSerial);
    if (!(toZeit > fromZeit)) return;
    // Ten milliseconds at least: below that a pixel would be less than a tick's resolution.
    const double least = 10.0 / kMillisecondsPerDay;
    if (toZeit - fromZeit < least) {
        const double middle = (fromZeit + toZeit) / 2;
        fromZeit = middle - least / 2;
        toZeit = middle + least / 2;
    }
    from_ = fromZeit;
    to_ = toZeit;
    redraw();
}

void KursChart::redraw() {
    stale_ = true;
    update();
}

void KursChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void KursChart::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        texts_.clear();
        layOut();
    }
}

void KursChart::decimate() const {
    stale_ = false;
    columns_ = doc_.decimate(from_, to_, plot_.width());
    double lo = INFINITY, hi = -INFINITY, vMax = 0;
    for (const ChartColumn& c : columns_) {
        lo = std::min<double>(lo, c.kursMin);
        hi = std::max<double>(hi, c.kursMax);
        vMax = std::max(vMax, c.volume);
    }
    if (lo <= hi) {
        const double pad = std::max((hi - lo) * 0.05, std::abs(hi) * 1e-4 + 1e-9);
        kursLo_ = lo - pad;
        kursHi_ = hi + pad;
    } else {
        kursLo_ = 0;
        kursHi_ = 1;
    }
    // The volume bars take the lower third; without volumes there is no volume scale.
    volumeTop_ = vMax * 3;
}

double KursChart::zeitAt(int x) const {
    return from_ + (to_ - from_) * (x - plot_.left()) / std::max(1, plot_.width());
}

int KursChart::xOf(double zeit) const {
    double x = std::floor((zeit - from_) / (to_ - from_) * plot_.width());
    // A time far outside the view lies just outside it (and NaN at its left edge).
    if (!(x >= -1.0)) x = -1.0;
    if (x > plot_.width() + 1.0) x = plot_.width() + 1.0;
    return plot_.left() + static_cast<int>(x);
}

QPoint KursChart::pointOf(double zeit, double kurs) const {
    if (stale_ && doc_.isRead()) decimate();
    const double y = plot_.bottom() - (kurs - kursLo_) / (kursHi_ - kursLo_) * plot_.height();
    return {xOf(zeit), static_cast<int>(std::lround(y))};
}

void KursChart::label(QPainter& p, QPoint at, const QString& text, Qt::Alignment alignment) {
    auto it = texts_.find(text);
    if (it == texts_.end()) {
        if (texts_.size() > 2000) texts_.clear();  // labels of long past zooms
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), font());
        it = texts_.insert(text, laid);
    }
    const QSizeF size = it->size();
    QPointF pos(at);
    if (alignment & Qt::AlignRight) pos.rx() -= size.width();
    if (alignment & Qt::AlignHCenter) pos.rx() -= size.width() / 2;
    if (alignment & Qt::AlignVCenter) pos.ry() -= size.height() / 2;
    if (alignment & Qt::AlignBottom) pos.ry() -= size.height();
    p.drawStaticText(pos, *it);
}

std::vector<KursChart::Tick> KursChart::timeTicks() const {
    const double spanMs = (to_ - from_) * kMillisecondsPerDay;
    if (!(spanMs > 0) || !namesDate(from_) || !namesDate(to_ - 1e-9)) return {};
    const int wanted = std::max(2, plot_.width() / 110);
    std::int64_t step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (std::int64_t s : kTimeSteps) {
        if (spanMs / static_cast<double>(s) <= wanted) {
            step = s;
            break;
        }
    }
    if (spanMs / static_cast<double>(step) > wanted)  // more than years: whole years apart
        step *= static_cast<std::int64_t>(std::ceil(spanMs / static_cast<double>(step) / wanted));
    const auto fromMs = static_cast<std::int64_t>(std::ceil(from_ * kMillisecondsPerDay));
    const auto toMs = static_cast<std::int64_t>(std::floor(to_ * kMillisecondsPerDay));
    std::vector<Tick> ticks;
    for (std::int64_t t = floorDiv(fromMs + step - 1, step) * step; t <= toMs; t += step) {
        const double zeit = static_cast<double>(t) / kMillisecondsPerDay;
        const std::optional<SerialParts> parts = splitSerial(zeit);
        if (!parts) continue;
        Tick tick;
        tick.at = xOf(zeit);
        tick.second = parts->date.toString(u"dd.MM.yy");
        if (step >= kDayMs)
            std::swap(tick.text, tick.second);  // the date alone
        else
            tick.text = parts->time.toString(step < 1000          ? u"hh:mm:ss.zzz"
                                             : step % 60'000 != 0 ? u"hh:mm:ss"
                                                                  : u"hh:mm");
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

std::vector<KursChart::Tick> KursChart::valueTicks(double lo, double hi, double top,
                                                   int wanted) const {
    const QLocale locale;
    const double step = valueStep(hi - lo, std::max(1, wanted));
    const int decimals = step >= 1 ? 0 : decimalsFor(step);
    std::vector<Tick> ticks;
    for (double v = std::ceil(lo / step) * step; v <= hi * (1 + 1e-9) + 1e-12; v += step) {
        Tick tick;
        tick.at =
            plot_.bottom() - static_cast<int>(std::lround((v - lo) / (top - lo) * plot_.height()));
        tick.text = locale.toString(std::abs(v) < step / 2 ? 0.0 : v, 'f', decimals);
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

void KursChart::paintPlot(QPainter& p, const std::vector<Tick>& zeiten,
                          const std::vector<Tick>& kurse) {
    // Every mark of the records is a run of pixels down one column: set straight into the
    // pixels, they cost a store each (a painter's line of one pixel's width costs a call per
    // pixel). Where the painter paints into an image of 32-bit pixels one to one (the window's
    // buffer, as a rule), into that; else into an image of our own, which is drawn then.
    QImage* target = nullptr;
    QPoint origin;
    if (QPaintEngine* engine = p.paintEngine(); engine && engine->type() == QPaintEngine::Raster) {
        QPaintDevice* device = engine->paintDevice();
        if (device && device->devType() == QInternal::Image) {
            auto* image = static_cast<QImage*>(device);
            const QTransform t = p.deviceTransform();
            origin = plot_.topLeft() + QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
            if (t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
                t.dy() == std::floor(t.dy()) && image->devicePixelRatio() == 1 &&
                (image->format() == QImage::Format_RGB32 ||
                 image->format() == QImage::Format_ARGB32_Premultiplied) &&
                image->rect().contains(QRect(origin, plot_.size())))
                target = image;
        }
    }
    if (!target) {
        if (canvas_.size() != plot_.size()) canvas_ = QImage(plot_.size(), QImage::Format_RGB32);
        target = &canvas_;
        origin = QPoint();
    }
    const int w = plot_.width(), h = plot_.height();
    const qsizetype stride = target->bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    QRgb* bits = reinterpret_cast<QRgb*>(target->bits()) + origin.y() * stride + origin.x();

    // Per pixel column: the rows of its price run and the first row of its volume bar; its
    // colour where neither is (grid or white).
    Spalten& sp = spalten_;
    const auto n = static_cast<size_t>(w + 3) / 4 * 4;  // whole groups of four
    sp.kursVon.assign(n, h);
    sp.kursBis.assign(n, -1);
    sp.volumeVon.assign(n, h);
    sp.grund.assign(n, 0xffffffff);
    sp.gitter.assign(n, kGitterFarbe.rgb());
    for (const Tick& t : zeiten)
        if (const int x = t.at - plot_.left(); x >= 0 && x < w)
            sp.grund[static_cast<size_t>(x)] = kGitterFarbe.rgb();
    std::vector<char> gitterZeile(static_cast<size_t>(h), 0);
    for (const Tick& t : kurse)
        if (const int y = t.at - plot_.top(); y >= 0 && y < h)
            gitterZeile[static_cast<size_t>(y)] = 1;

    const double kursScale = (h - 1) / (kursHi_ - kursLo_);
    const double volumeScale = volumeTop_ > 0 ? (h - 1) / volumeTop_ : 0;
    auto row = [&](double v, double scale) {
        return std::clamp(h - 1 - static_cast<int>(v * scale), -1, h);
    };
    // Prices: per column from its lowest to its highest, joined to the column before; in the
    // next pixel column the join is part of the column's run, farther it is a line.
    far_.clear();
    QPoint before(-1, 0);
    for (const ChartColumn& c : columns_) {
        const int x = xOf(c.zeit) - plot_.left();
        int low = row(c.kursMin - kursLo_, kursScale);
        int high = row(c.kursMax - kursLo_, kursScale);
        const int top = high;
        if (before.x() >= 0) {
            if (x - before.x() <= 1) {
                low = std::max(low, before.y());
                high = std::min(high, before.y());
            } else {
                far_.append(QLine(before + plot_.topLeft(), QPoint(x, low) + plot_.topLeft()));
            }
        }
        before = QPoint(x, top);
        if (x < 0 || x >= w) continue;
        const auto i = static_cast<size_t>(x);
        sp.kursVon[i] = std::min(sp.kursVon[i], high);
        sp.kursBis[i] = std::max(sp.kursBis[i], low);
        if (c.volume > 0) sp.volumeVon[i] = std::min(sp.volumeVon[i], row(c.volume, volumeScale));
    }

    // Row by row, each pixel written once and in order.
    clearUpperVectorState();
    const QRgb kurs = kKursFarbe.rgb(), volume = kVolumeFarbe.rgb();
    for (int y = 0; y < h; ++y) {
        QRgb* out = bits + y * stride;
        const QRgb* grund =
            gitterZeile[static_cast<size_t>(y)] ? sp.gitter.data() : sp.grund.data();
        int x = 0;
#if defined(__SSE2__)
        const __m128i zeile = _mm_set1_epi32(y);
        const __m128i kursFarbe = _mm_set1_epi32(static_cast<int>(kurs));
        const __m128i volumeFarbe = _mm_set1_epi32(static_cast<int>(volume));
        auto load = [](const auto& v, int at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(v.data() + at));
        };
        for (; x + 4 <= w; x += 4) {
            const __m128i ausserKurs = _mm_or_si128(_mm_cmpgt_epi32(load(sp.kursVon, x), zeile),
                                                    _mm_cmpgt_epi32(zeile, load(sp.kursBis, x)));
            const __m128i ausserVolume = _mm_cmpgt_epi32(load(sp.volumeVon, x), zeile);
            const __m128i unten = _mm_or_si128(
                _mm_and_si128(ausserVolume,
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(grund + x))),
                _mm_andnot_si128(ausserVolume, volumeFarbe));
            const __m128i pixel = _mm_or_si128(_mm_and_si128(ausserKurs, unten),
                                               _mm_andnot_si128(ausserKurs, kursFarbe));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), pixel);
        }
#endif
        for (; x < w; ++x) {
            const auto i = static_cast<size_t>(x);
            out[x] = (sp.kursVon[i] <= y && y <= sp.kursBis[i]) ? kurs
                     : y >= sp.volumeVon[i]                     ? volume
                                                                : grund[x];
        }
    }
    if (target == &canvas_) p.drawImage(plot_.topLeft(), canvas_);
}

void KursChart::paintEvent(QPaintEvent*) {
    if (!doc_.isRead()) {
        // Until the opening pass has summed up the file: an empty plot that says so.
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        p.fillRect(plot_, Qt::white);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(plot_.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(plot_, Qt::AlignCenter, QStringLiteral("Die Datei wird gelesen …"));
        return;
    }
    if (stale_) decimate();
    const std::vector<Tick> zeiten = timeTicks();
    const std::vector<Tick> kurse =
        valueTicks(kursLo_, kursHi_, kursHi_, std::max(2, plot_.height() / 45));
    const std::vector<Tick> volumen =
        volumeTop_ > 0
            ? valueTicks(0, volumeTop_ / 3, volumeTop_, std::max(1, plot_.height() / 3 / 40))
            : std::vector<Tick>();

    QPainter p(this);
    const QRect plot = plot_;
    // Around the plot only: the plot is the canvas.
    const QBrush window = palette().window();
    p.fillRect(QRect(0, 0, width(), plot.top()), window);
    p.fillRect(QRect(0, plot.bottom() + 1, width(), height() - plot.bottom() - 1), window);
    p.fillRect(QRect(0, plot.top(), plot.left(), plot.height()), window);
    p.fillRect(QRect(plot.right() + 1, plot.top(), width() - plot.right() - 1, plot.height()),
               window);
    paintPlot(p, zeiten, kurse);
    if (!far_.isEmpty()) {
        p.setClipRect(plot);
        p.setPen(kKursFarbe);
        p.drawLines(far_.constData(), static_cast<int>(far_.size()));
        p.setClipping(false);
    }

    p.setPen(palette().color(QPalette::WindowText));
    const int lineHeight = fontMetrics().height();
    for (const Tick& t : zeiten) {
        p.drawLine(t.at, plot.bottom(), t.at, plot.bottom() + 3);
        label(p, {t.at, plot.bottom() + 4}, t.text, Qt::AlignHCenter | Qt::AlignTop);
        if (!t.second.isEmpty())
            label(p, {t.at, plot.bottom() + 4 + lineHeight}, t.second,
                  Qt::AlignHCenter | Qt::AlignTop);
    }
    for (const Tick& t : kurse) {
        p.drawLine(plot.left() - 3, t.at, plot.left(), t.at);
        label(p, {plot.left() - 5, t.at}, t.text, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (const Tick& t : volumen) {
        p.drawLine(plot.right(), t.at, plot.right() + 3, t.at);
        label(p, {plot.right() + 5, t.at}, t.text, Qt::AlignLeft | Qt::AlignVCenter);
    }
    // The axes' names, turned along them.
    p.save();
    p.translate(2, plot.center().y());
    p.rotate(-90);
    label(p, {0, 0}, QStringLiteral("Kurs"), Qt::AlignHCenter | Qt::AlignTop);
    p.restore();
    p.save();
    p.translate(width() - 2, plot.center().y());
    p.rotate(90);
    label(p, {0, 0}, QStringLiteral("Volumen"), Qt::AlignHCenter | Qt::AlignTop);
    p.restore();
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(0, 0, -1, -1));
}

void KursChart::wheelEvent(QWheelEvent* event) {
    if (!doc_.isRead()) return;
    // Around the time under the pointer: it stays where it is.
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    const double factor = std::pow(0.8, steps);
    const double at = zeitAt(static_cast<int>(event->position().x()));
    setRange(at - (at - from_) * factor, at + (to_ - at) * factor);
    event->accept();
}

void KursChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !doc_.isRead()) return;
    pressedAt_ = event->position().toPoint();
    pressedFrom_ = from_;
    pressedTo_ = to_;
    dragging_ = true;
}

void KursChart::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const int dx = event->position().toPoint().x() - pressedAt_.x();
    const double shift = -(pressedTo_ - pressedFrom_) * dx / std::max(1, plot_.width());
    if (std::abs(dx) > 3) setRange(pressedFrom_ + shift, pressedTo_ + shift);
}

void KursChart::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    const QPoint at = event->position().toPoint();
    if ((at - pressedAt_).manhattanLength() > 3 || doc_.count() == 0 || !plot_.contains(at)) return;
    // The record nearest to the time clicked.
    const double zeit = zeitAt(at.x());
    std::int64_t row = std::min(doc_.lowerBound(zeit), doc_.count() - 1);
    if (row > 0 && zeit - doc_.record(row - 1).Zeit < doc_.record(row).Zeit - zeit) --row;
    Q_EMIT recordChosen(row);
}

}  // namespace vqs
