#pragma once

#include "gui/dateninspektor/kurs_modell.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>

#include <cstdint>
#include <vector>

class QHeaderView;
class QLineEdit;
class QPainter;

namespace vqs {

// Marked rows as runs of neighbouring rows: marking all of millions of rows is one run.
class ZeilenMarken {
public:
    using Lauf = ZeilenLauf;
    void clear() { laeufe_.clear(); }
    void mark(std::int64_t first, std::int64_t last);
    void unmark(std::int64_t first, std::int64_t last);
    bool contains(std::int64_t row) const;
    bool empty() const { return laeufe_.empty(); }
    const std::vector<Lauf>& laeufe() const { return laeufe_; }
    // Rows inserted or removed before a mark move it.
    void inserted(std::int64_t first, std::int64_t n);
    void removed(std::int64_t first, std::int64_t n);

private:
    std::vector<Lauf> laeufe_;  // ascending, apart
};

// The records as a table that draws the rows in sight only, so that a file of millions of records
// costs nothing more to show than one of a hundred (a QTableView keeps a size for every row).
// Marks rows like a list (click, Ctrl+click, Shift+click, keys), edits a cell in place (double
// click, F2, Enter); the rows' texts and marks come from the KursModell.
class KursTabelle final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit KursTabelle(KursModell& model, QWidget* parent = nullptr);

    std::int64_t rowCount() const;
    // The current row (-1 without rows) and column.
    std::int64_t currentRow() const { return current_; }
    int currentColumn() const { return currentColumn_; }
    // Makes the row current and the only marked one, and shows it in the middle.
    void selectRow(std::int64_t row);
    const ZeilenMarken& marken() const { return marken_; }
    // Marks the rows in addition to those marked.
    void mark(std::int64_t first, std::int64_t last);
    void scrollToRow(std::int64_t row);
    void scrollToBottom();
    bool showsLastRow() const;
    // Opens the editor on a cell.
    void edit(std::int64_t row, int column);
    QLineEdit* editor() const { return editor_; }
    // Where a cell is drawn, in the viewport's coordinates (empty when out of sight).
    QRect cellRect(std::int64_t row, int column) const;
    // The width that shows every column and the largest row number.
    int preferredWidth() const;

Q_SIGNALS:
    // The user chose a row, opened an editor or scrolled: the view is the user's now.
    void browsed();
    // The user asked for the end of the table (End, Ctrl+End).
    void endRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int rowHeight() const { return rowHeight_; }
    void text(QPainter& p, const QRect& cell, const QString& text, bool right) const;
    int rowsInSight() const;
    std::int64_t firstRowInSight() const;
    int gutterWidth() const;
    std::int64_t rowAt(int y) const;
    int columnAt(int x) const;
    // Moves the current row as a click or a key does: alone, toggled or extended to the anchor.
    void moveTo(std::int64_t row, int column, Qt::KeyboardModifiers modifiers);
    void setCurrent(std::int64_t row, int column);
    void ensureVisible(std::int64_t row);
    void updateScrollBars();
    void layoutHeader();
    // Takes the editor's text into the record; false when it is no value: the user is told
    // (and, with `mendAfterwards`, finds the text in the editor again) right after.
    bool commitEditor(bool mendAfterwards = false);
    void closeEditor();

    KursModell& model_;
    QHeaderView* header_;
    QLineEdit* editor_ = nullptr;
    std::int64_t editorRow_ = -1;
    int editorColumn_ = 0;
    ZeilenMarken marken_;
    std::int64_t current_ = -1;
    int currentColumn_ = 0;
    std::int64_t anchor_ = -1;
    int rowHeight_;
    QFontMetrics metrics_;
    mutable int breiten_[128];  // widths of the characters of numbers, -1 until measured
};

}  // namespace vqs
