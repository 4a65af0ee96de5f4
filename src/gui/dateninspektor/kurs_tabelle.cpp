#include "gui/dateninspektor/kurs_tabelle.h"

#include "gui/dateninspektor/kurs_modell.h"
#include "gui/shell/message_dialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <QVarLengthArray>

#include <algorithm>

namespace vqs {

void ZeilenMarken::mark(std::int64_t first, std::int64_t last) {
    if (first > last) std::swap(first, last);
    // The runs that touch or overlap [first, last] become one.
    auto from = std::lower_bound(laeufe_.begin(), laeufe_.end(), first,
                                 [](const Lauf& l, std::int64_t row) { return l.last + 1 < row; });
    auto to = from;
    while (to != laeufe_.end() && to->first <= last + 1) {
        first = std::min(first, to->first);
        last = std::max(last, to->last);
        ++to;
    }
    from = laeufe_.erase(from, to);
    laeufe_.insert(from, {first, last});
}

void ZeilenMarken::unmark(std::int64_t first, std::int64_t last) {
    if (first > last) std::swap(first, last);
    std::vector<Lauf> kept;
    kept.reserve(laeufe_.size() + 1);
    for (const Lauf& l : laeufe_) {
        if (l.last < first || l.first > last) {
            kept.push_back(l);
            continue;
        }
        if (l.first < first) kept.push_back({l.first, first - 1});
        if (l.last > last) kept.push_back({last + 1, l.last});
    }
    laeufe_ = std::move(kept);
}

bool ZeilenMarken::contains(std::int64_t row) const {
    auto it = std::lower_bound(laeufe_.begin(), laeufe_.end(), row,
                               [](const Lauf& l, std::int64_t r) { return l.last < r; });
    return it != laeufe_.end() && it->first <= row;
}

void ZeilenMarken::inserted(std::int64_t first, std::int64_t n) {
    std::vector<Lauf> moved;
    moved.reserve(laeufe_.size() + 1);
    for (const Lauf& l : laeufe_) {
        if (l.last < first) {
            moved.push_back(l);
        } else if (l.first >= first) {
            moved.push_back({l.first + n, l.last + n});
        } else {  // split by the new rows, which are not marked
            moved.push_back({l.first, first - 1});
            moved.push_back({first + n, l.last + n});
        }
    }
    laeufe_ = std::move(moved);
}

void ZeilenMarken::removed(std::int64_t first, std::int64_t n) {
    unmark(first, first + n - 1);
    std::vector<Lauf> moved;
    moved.reserve(laeufe_.size());
    for (const Lauf& l : laeufe_) {
        const Lauf m = l.first > first ? Lauf{l.first - n, l.last - n} : l;
        if (!moved.empty() && moved.back().last + 1 == m.first)
            moved.back().last = m.last;
        else
            moved.push_back(m);
    }
    laeufe_ = std::move(moved);
}

KursTabelle::KursTabelle(KursModell& model, QWidget* parent)
    : QAbstractScrollArea(parent),
      model_(model),
      header_(new QHeaderView(Qt::Horizontal, this)),
      rowHeight_(fontMetrics().height() + 6),
      metrics_(font()) {
    std::fill(std::begin(breiten_), std::end(breiten_), -1);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(false);
    header_->setModel(&model_);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setHighlightSections(false);
    header_->setSectionsClickable(false);
    header_->resizeSection(KursModell::kZeit, 190);
    header_->resizeSection(KursModell::kKurs, 100);
    header_->resizeSection(KursModell::kVolume, 100);
    connect(header_, &QHeaderView::sectionResized, this, [this] {
        updateScrollBars();
        viewport()->update();
    });
    verticalScrollBar()->setSingleStep(1);
    // Only the user's moves of the scroll bar (drag, click, wheel) trigger an action.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &KursTabelle::browsed);

    connect(&model_, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                const std::int64_t n = std::int64_t{last} - first + 1;
                marken_.inserted(first, n);
                if (anchor_ >= first) anchor_ += n;
                if (editor_ && editorRow_ >= first) editorRow_ += n;
                if (current_ >= first)
                    setCurrent(current_ + n, currentColumn_);
                else if (current_ < 0)
                    setCurrent(first, currentColumn_);
                updateScrollBars();
                viewport()->update();
            });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                const std::int64_t n = std::int64_t{last} - first + 1;
                closeEditor();
                marken_.removed(first, n);
                if (anchor_ > last)
                    anchor_ -= n;
                else if (anchor_ >= first)
                    anchor_ = first;
                std::int64_t row = current_;
                if (row > last)
                    row -= n;
                else if (row >= first)
                    row = first;
                setCurrent(std::min(row, rowCount() - 1), currentColumn_);
                updateScrollBars();
                viewport()->update();
            });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
        closeEditor();
        marken_.clear();
        setCurrent(rowCount() ? 0 : -1, currentColumn_);
        updateScrollBars();
        viewport()->update();
    });
    layoutHeader();
    updateScrollBars();
}

std::int64_t KursTabelle::rowCount() const { return model_.rowCount(); }

int KursTabelle::rowsInSight() const { return std::max(1, viewport()->height() / rowHeight()); }

std::int64_t KursTabelle::firstRowInSight() const { return verticalScrollBar()->value(); }

int KursTabelle::gutterWidth() const {
    // Room for the row numbers of the largest row.
    return fontMetrics().horizontalAdvance(QString::number(std::max<std::int64_t>(rowCount(), 9))) +
           14;
}

int KursTabelle::preferredWidth() const {
    return 2 * frameWidth() + gutterWidth() + header_->length() +
           verticalScrollBar()->sizeHint().width();
}

void KursTabelle::layoutHeader() {
    const int height = header_->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect v = viewport()->geometry();
    header_->setGeometry(v.left() + gutterWidth(), v.top() - height, v.width() - gutterWidth(),
                         height);
    header_->setOffset(horizontalScrollBar()->value());
}

void KursTabelle::updateScrollBars() {
    const int rows = static_cast<int>(std::min<std::int64_t>(rowCount(), INT_MAX));
    verticalScrollBar()->setPageStep(rowsInSight());
    verticalScrollBar()->setRange(0, std::max(0, rows - rowsInSight()));
    const int width = gutterWidth() + header_->length();
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    layoutHeader();
}

void KursTabelle::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    // The current row stays in sight (the window's first layout comes after it was chosen).
    if (current_ >= 0) ensureVisible(current_);
}

void KursTabelle::scrollContentsBy(int, int) {
    // The editor goes with its cell (new ticks scroll the table while the user types).
    if (editor_) {
        const QRect cell = cellRect(editorRow_, editorColumn_);
        editor_->setGeometry(cell.adjusted(1, 1, -1, -1));
        editor_->setVisible(!cell.isEmpty() && cell.bottom() < viewport()->height());
    }
    header_->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

QRect KursTabelle::cellRect(std::int64_t row, int column) const {
    const std::int64_t at = row - firstRowInSight();
    if (at < 0 || at > rowsInSight() || column < 0 || column >= KursModell::kColumns) return {};
    const int x = gutterWidth() + header_->sectionPosition(column) - horizontalScrollBar()->value();
    return {x, static_cast<int>(at) * rowHeight(), header_->sectionSize(column), rowHeight()};
}

std::int64_t KursTabelle::rowAt(int y) const {
    const std::int64_t row = firstRowInSight() + std::max(0, y) / rowHeight();
    return std::min(row, rowCount() - 1);
}

int KursTabelle::columnAt(int x) const {
    const int column = header_->logicalIndexAt(x - gutterWidth() + horizontalScrollBar()->value() -
                                               header_->offset());
    return column < 0 ? (x < gutterWidth() ? 0 : KursModell::kColumns - 1) : column;
}

void KursTabelle::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QPalette& pal = palette();
    const int gutter = gutterWidth();
    const int scrollX = horizontalScrollBar()->value();
    const int height = viewport()->height();
    const std::int64_t first = firstRowInSight();
    const std::int64_t end = std::min(rowCount(), first + rowsInSight() + 1);
    const bool focused = hasFocus();
    const QPalette::ColorGroup group = focused ? QPalette::Active : QPalette::Inactive;
    p.fillRect(event->rect(), pal.base());
    p.fillRect(QRect(0, 0, gutter, height), pal.button());  // the row numbers' column

    struct Spalte {
        int x, width;
        bool right;
    } spalten[KursModell::kColumns];
    for (int c = 0; c < KursModell::kColumns; ++c) {
        const QVariant align = model_.index(0, c).data(Qt::TextAlignmentRole);
        spalten[c] = {gutter + header_->sectionPosition(c) - scrollX, header_->sectionSize(c),
                      align.isValid() && (align.value<Qt::Alignment>() & Qt::AlignRight)};
    }
    const int right = spalten[KursModell::kColumns - 1].x + spalten[KursModell::kColumns - 1].width;
    QVarLengthArray<QLine, 64> lines;
    for (std::int64_t row = first; row < end; ++row) {
        const int y = static_cast<int>(row - first) * rowHeight();
        const QRect zeile(gutter, y, right - gutter, rowHeight());
        const auto r = static_cast<int>(row);
        // Marked, else faulty: the whole row in its colour.
        const bool marked = marken_.contains(row);
        if (marked)
            p.fillRect(zeile, pal.brush(group, QPalette::Highlight));
        else if (const QVariant back = model_.index(r, 0).data(Qt::BackgroundRole); back.isValid())
            p.fillRect(zeile, back.value<QBrush>());
        p.setPen(marked ? pal.color(group, QPalette::HighlightedText) : pal.color(QPalette::Text));
        for (int c = 0; c < KursModell::kColumns; ++c) {
            const QRect cell(spalten[c].x, y, spalten[c].width, rowHeight());
            if (cell.intersects(event->rect()))
                text(p, cell, model_.index(r, c).data(Qt::DisplayRole).toString(),
                     spalten[c].right);
        }
        p.setPen(pal.color(QPalette::ButtonText));
        text(p, QRect(0, y, gutter, rowHeight()), QString::number(row + 1), true);
        lines.append(QLine(0, y + rowHeight() - 1, right, y + rowHeight() - 1));
    }
    // The grid: one line under each row, one after each column, down to the last row.
    const int bottom = static_cast<int>(end - first) * rowHeight() - 1;
    lines.append(QLine(gutter - 1, 0, gutter - 1, height));
    for (const Spalte& s : spalten)
        lines.append(QLine(s.x + s.width - 1, 0, s.x + s.width - 1, bottom));
    p.setPen(pal.color(QPalette::Mid).lighter(130));
    p.drawLines(lines.constData(), static_cast<int>(lines.size()));
    if (focused && current_ >= first && current_ < end) {
        const Spalte& s = spalten[currentColumn_];
        QStyleOptionFocusRect o;
        o.initFrom(this);
        o.rect = QRect(s.x + 1, static_cast<int>(current_ - first) * rowHeight() + 1, s.width - 3,
                       rowHeight() - 3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
    }
}

void KursTabelle::text(QPainter& p, const QRect& cell, const QString& text, bool right) const {
    // At its base line, without a text layout: a table shows dozens of them at every step.
    // Numbers are measured from their characters' widths (kept for the characters of numbers and
    // times), other text by the font.
    int width = 0;
    if (right) {
        for (QChar ch : text) {
            const ushort u = ch.unicode();
            if (u >= std::size(breiten_)) {
                width = metrics_.horizontalAdvance(text);
                break;
            }
            if (breiten_[u] < 0) breiten_[u] = metrics_.horizontalAdvance(ch);
            width += breiten_[u];
        }
    }
    const int x = right ? cell.right() - 4 - width : cell.left() + 4;
    p.drawText(QPoint(x, cell.top() + (cell.height() - metrics_.height()) / 2 + metrics_.ascent()),
               text);
}

void KursTabelle::setCurrent(std::int64_t row, int column) {
    current_ = row;
    currentColumn_ = std::clamp(column, 0, KursModell::kColumns - 1);
}

void KursTabelle::ensureVisible(std::int64_t row) {
    const std::int64_t first = firstRowInSight();
    const int rows = rowsInSight();
    if (row < first)
        verticalScrollBar()->setValue(static_cast<int>(row));
    else if (row >= first + rows)
        verticalScrollBar()->setValue(static_cast<int>(row - rows + 1));
}

void KursTabelle::scrollToRow(std::int64_t row) {
    verticalScrollBar()->setValue(static_cast<int>(row - rowsInSight() / 2));
}

void KursTabelle::scrollToBottom() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

bool KursTabelle::showsLastRow() const { return firstRowInSight() + rowsInSight() >= rowCount(); }

void KursTabelle::selectRow(std::int64_t row) {
    if (row < 0 || row >= rowCount()) return;
    commitEditor();
    marken_.clear();
    marken_.mark(row, row);
    anchor_ = row;
    setCurrent(row, currentColumn_);
    scrollToRow(row);
    viewport()->update();
}

void KursTabelle::mark(std::int64_t first, std::int64_t last) {
    marken_.mark(std::max<std::int64_t>(first, 0), std::min(last, rowCount() - 1));
    viewport()->update();
}

void KursTabelle::moveTo(std::int64_t row, int column, Qt::KeyboardModifiers modifiers) {
    if (rowCount() == 0) return;
    row = std::clamp<std::int64_t>(row, 0, rowCount() - 1);
    Q_EMIT browsed();
    commitEditor();
    if (modifiers & Qt::ShiftModifier) {
        if (anchor_ < 0) anchor_ = row;
        if (!(modifiers & Qt::ControlModifier)) marken_.clear();
        marken_.mark(anchor_, row);
    } else if (modifiers & Qt::ControlModifier) {
        if (marken_.contains(row))
            marken_.unmark(row, row);
        else
            marken_.mark(row, row);
        anchor_ = row;
    } else {
        marken_.clear();
        marken_.mark(row, row);
        anchor_ = row;
    }
    setCurrent(row, column);
    ensureVisible(row);
    viewport()->update();
}

void KursTabelle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || rowCount() == 0) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    moveTo(rowAt(at.y()), columnAt(at.x()), event->modifiers());
}

void KursTabelle::mouseMoveEvent(QMouseEvent* event) {
    // Dragging marks from the anchor on, as Shift does.
    if (!(event->buttons() & Qt::LeftButton) || rowCount() == 0) return;
    const QPoint at = event->position().toPoint();
    std::int64_t row = rowAt(at.y());
    if (at.y() < 0) row = std::max<std::int64_t>(0, firstRowInSight() - 1);
    moveTo(row, currentColumn_, (event->modifiers() & Qt::ControlModifier) | Qt::ShiftModifier);
}

void KursTabelle::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || rowCount() == 0) return;
    const QPoint at = event->position().toPoint();
    edit(rowAt(at.y()), columnAt(at.x()));
}

void KursTabelle::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    const Qt::KeyboardModifiers move = mods & Qt::ShiftModifier;  // Ctrl moves alone
    const std::int64_t row = std::max<std::int64_t>(current_, 0);
    const int page = std::max(1, rowsInSight() - 1);
    switch (event->key()) {
        case Qt::Key_Up:
            return moveTo(row - 1, currentColumn_, move);
        case Qt::Key_Down:
            return moveTo(current_ < 0 ? 0 : row + 1, currentColumn_, move);
        case Qt::Key_PageUp:
            return moveTo(row - page, currentColumn_, move);
        case Qt::Key_PageDown:
            return moveTo(row + page, currentColumn_, move);
        case Qt::Key_Home:
            return moveTo(mods & Qt::ControlModifier ? 0 : row,
                          mods & Qt::ControlModifier ? currentColumn_ : 0, move);
        case Qt::Key_End:
            moveTo(mods & Qt::ControlModifier ? rowCount() - 1 : row,
                   mods & Qt::ControlModifier ? currentColumn_ : KursModell::kColumns - 1, move);
            Q_EMIT endRequested();
            return;
        case Qt::Key_Left:
            setCurrent(current_, currentColumn_ - 1);
            viewport()->update();
            return;
        case Qt::Key_Right:
            setCurrent(current_, currentColumn_ + 1);
            viewport()->update();
            return;
        case Qt::Key_F2:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (current_ >= 0) edit(current_, currentColumn_);
            return;
        case Qt::Key_A:
            if (mods == Qt::ControlModifier && rowCount() > 0) {
                marken_.clear();
                marken_.mark(0, rowCount() - 1);
                viewport()->update();
                return;
            }
            break;
        default:
            break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool KursTabelle::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QVariant tip =
            rowCount()
                ? model_.index(static_cast<int>(rowAt(help->pos().y())), 0).data(Qt::ToolTipRole)
                : QVariant();
        if (tip.isValid())
            QToolTip::showText(help->globalPos(), tip.toString(), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool KursTabelle::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editor_ && event->type() == QEvent::KeyPress) {
        // Taken here: the editor passes Enter on, which would open it again.
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Escape:
                closeEditor();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // A text that is no value comes back into the editor, to be mended.
                commitEditor(true);
                setFocus();
                return true;
            default:
                break;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void KursTabelle::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        metrics_ = QFontMetrics(font());
        rowHeight_ = metrics_.height() + 6;
        std::fill(std::begin(breiten_), std::end(breiten_), -1);
        updateScrollBars();
        viewport()->update();
    }
}

void KursTabelle::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void KursTabelle::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void KursTabelle::edit(std::int64_t row, int column) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= KursModell::kColumns) return;
    if (!(model_.flags(model_.index(static_cast<int>(row), column)) & Qt::ItemIsEditable)) return;
    Q_EMIT browsed();
    commitEditor();
    if (current_ != row) moveTo(row, column, {});
    setCurrent(row, column);
    ensureVisible(row);
    editorRow_ = row;
    editorColumn_ = column;
    editor_ = new QLineEdit(viewport());
    editor_->setObjectName(QStringLiteral("Zelleditor"));
    editor_->setFrame(false);
    editor_->setText(model_.index(static_cast<int>(row), column).data(Qt::EditRole).toString());
    editor_->selectAll();
    editor_->setGeometry(cellRect(row, column).adjusted(1, 1, -1, -1));
    connect(editor_, &QLineEdit::editingFinished, this, [this] {
        // Leaving the editor takes its text, as a table does.
        if (editor_ && !editor_->hasFocus()) commitEditor();
    });
    editor_->installEventFilter(this);
    editor_->show();
    editor_->setFocus();
}

bool KursTabelle::commitEditor(bool mendAfterwards) {
    if (!editor_) return true;
    QLineEdit* e = editor_;
    editor_ = nullptr;  // a change of the model below must not commit again
    const QString text = e->text();
    e->hide();
    e->deleteLater();
    viewport()->update();
    const std::int64_t row = editorRow_;
    const int column = editorColumn_;
    if (row >= rowCount() ||
        model_.setData(model_.index(static_cast<int>(row), column), text, Qt::EditRole))
        return true;
    // Not a value: the record stays as it was, and the user learns why, once the click or key
    // that ended the editing has been handled (no message loop inside a mouse press; a tooltip
    // would go with the key's release).
    QMetaObject::invokeMethod(
        this,
        [this, text, row, column, mendAfterwards] {
            ShowMessage(
                QStringLiteral("„%1“ ist kein gültiger Wert für %2; der Satz bleibt, wie er war.")
                    .arg(text,
                         model_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()),
                msg::kOk, nullptr);
            if (!mendAfterwards) return;
            edit(row, column);
            if (editor_) editor_->setText(text);
        },
        Qt::QueuedConnection);
    return false;
}

void KursTabelle::closeEditor() {
    if (!editor_) return;
    QLineEdit* e = editor_;
    editor_ = nullptr;  // its losing the focus below must not take its text
    e->hide();
    e->deleteLater();
    setFocus();
}

}  // namespace vqs
