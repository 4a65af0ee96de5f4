#include "gui/shell/window_placement.h"

#include "recording/settings_store.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vqs {

void fitOnScreen(QWidget* window, std::optional<QPoint> center) {
    QScreen* screen = center ? QGuiApplication::screenAt(*center) : window->screen();
    if (!screen) screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   std::max(0, outer.right() - inner.right()),
                   std::max(0, outer.bottom() - inner.bottom()));
    // Before the first show the window system has not told its frame yet.
    if (!window->isVisible() && frame.isNull()) frame = QMargins(8, 40, 8, 8);
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size()) window->resize(size);
    const QSize full = size.grownBy(frame);
    QPoint at = center ? *center - QPoint(full.width() / 2, full.height() / 2) : outer.topLeft();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() + 1 - full.width())));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() + 1 - full.height())));
    if (at != outer.topLeft()) window->move(at);
}

ScreenMetrics currentScreenMetrics(const QWidget* window) {
    ScreenMetrics m;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return m;
    const qreal dpiX = window ? window->logicalDpiX() : primary->logicalDotsPerInchX();
    const qreal dpiY = window ? window->logicalDpiY() : primary->logicalDotsPerInchY();
    m.twipsPerPixelX = dpiX > 0 ? static_cast<float>(1440.0 / dpiX) : 15.0f;
    m.twipsPerPixelY = dpiY > 0 ? static_cast<float>(1440.0 / dpiY) : 15.0f;
    const QRect screen = primary->geometry();
    m.screenWidth = static_cast<float>(screen.width()) * m.twipsPerPixelX;
    m.screenHeight = static_cast<float>(screen.height()) * m.twipsPerPixelY;
    m.monitorCount = static_cast<int>(QGuiApplication::screens().size());
    const QRect virt = primary->virtualGeometry();
    m.virtualLeft = virt.left();
    m.virtualTop = virt.top();
    m.virtualWidth = virt.width();
    m.virtualHeight = virt.height();
    return m;
}

// Placement is the window's own rectangle, without the frame, when it is stored and when it is
// restored alike: the frame is the window manager's, and unknown before the window is shown, so
// a rectangle stored with it and restored without it (or the other way round) moved the window
// by a title bar at every start.
TwipsRect windowRectTwips(const QWidget* window) {
    const ScreenMetrics m = currentScreenMetrics(window);
    const QRect r = window->geometry();
    return TwipsRect{static_cast<float>(r.x()) * m.twipsPerPixelX,
                     static_cast<float>(r.y()) * m.twipsPerPixelY,
                     static_cast<float>(r.width()) * m.twipsPerPixelX,
                     static_cast<float>(r.height()) * m.twipsPerPixelY};
}

int windowStateOf(const QWidget* window) {
    if (window->isMinimized()) return kMinimized;
    if (window->isMaximized()) return kMaximized;
    return kNormal;
}

void applyWindowRectTwips(QWidget* window, const TwipsRect& rect) {
    const ScreenMetrics m = currentScreenMetrics(window);
    auto px = [](float twips, float perPixel) {
        return static_cast<int>(std::lround(twips / perPixel));
    };
    window->setGeometry(px(rect.left, m.twipsPerPixelX), px(rect.top, m.twipsPerPixelY),
                        std::max(1, px(rect.width, m.twipsPerPixelX)),
                        std::max(1, px(rect.height, m.twipsPerPixelY)));
}

void SaveWindowPos(QWidget* window, SettingsStore& store, const QString& section) {
    placement::savePlacement(store, section, windowRectTwips(window), windowStateOf(window));
}

void RestoreWindowPos(QWidget* window, const SettingsStore& store, const QString& section) {
    Placement p = placement::restorePlacement(store, section, windowRectTwips(window),
                                              windowStateOf(window), currentScreenMetrics(window));
    applyWindowRectTwips(window, p.rect);
    Qt::WindowStates states = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (p.windowState == kMinimized) states |= Qt::WindowMinimized;
    if (p.windowState == kMaximized) states |= Qt::WindowMaximized;
    window->setWindowState(states);
}

void RestoreMainWindowPos(QWidget* window, const SettingsStore& store, const QString& section) {
    TwipsRect r = placement::restoreMainPlacement(store, section, windowRectTwips(window),
                                                  currentScreenMetrics(window));
    applyWindowRectTwips(window, r);
}

namespace {

std::vector<placement::Column> columnsOf(const QTreeWidget* list) {
    std::vector<placement::Column> columns;
    const QTreeWidgetItem* header = list->headerItem();
    for (int i = 0; i < list->columnCount(); ++i) {
        columns.push_back(
            {header->data(i, Qt::UserRole).toString(), static_cast<float>(list->columnWidth(i))});
    }
    return columns;
}

}  // namespace

void SaveColumnWidths(const QTreeWidget* list, SettingsStore& store, const QString& section) {
    placement::saveColumns(store, section, columnsOf(list));
}

void RestoreColumnWidths(QTreeWidget* list, const SettingsStore& store, const QString& section) {
    std::vector<placement::Column> columns = columnsOf(list);
    placement::restoreColumns(store, section, columns);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        list->setColumnWidth(i, static_cast<int>(columns[static_cast<size_t>(i)].width));
}

void ScaleControls(QWidget* window, float& oldWidth, float& oldHeight, int minWidthPx,
                   int minHeightPx) {
    const ScreenMetrics m = currentScreenMetrics(window);
    if (auto bigger =
            placement::enforceMinimumSize(windowRectTwips(window), minWidthPx, minHeightPx, m)) {
        applyWindowRectTwips(window, *bigger);
    }
    const placement::ScaleFactors f =
        placement::scaleFactors(static_cast<float>(window->width()),
                                static_cast<float>(window->height()), oldWidth, oldHeight);
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) continue;
        const QRect g = child->geometry();
        child->setGeometry(static_cast<int>(std::lround(g.x() * f.fx)),
                           static_cast<int>(std::lround(g.y() * f.fy)),
                           static_cast<int>(std::lround(g.width() * f.fx)),
                           static_cast<int>(std::lround(g.height() * f.fy)));
    }
}

int CountSelectedItems(const QTreeWidget* list) {
    return list ? static_cast<int>(list->selectedItems().size()) : 0;
}

}  // namespace vqs
