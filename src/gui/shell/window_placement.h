#pragma once

#include "gui/shell/placement.h"

#include <QPoint>

#include <optional>

class QWidget;
class QTreeWidget;

namespace vqs {

class SettingsStore;

// The placement functions applied to real windows; the rules are in placement.h.
ScreenMetrics currentScreenMetrics(const QWidget* window);
TwipsRect windowRectTwips(const QWidget* window);
int windowStateOf(const QWidget* window);
void applyWindowRectTwips(QWidget* window, const TwipsRect& rect);

void SaveWindowPos(QWidget* window, SettingsStore& store, const QString& section);
void RestoreWindowPos(QWidget* window, const SettingsStore& store, const QString& section);
void RestoreMainWindowPos(QWidget* window, const SettingsStore& store, const QString& section);

// Moves a window, and shrinks it where it must, so that it lies whole on the available part of
// its screen, frame included (a window not shown yet gets a usual frame assumed). With a
// `center`, on the screen there, centred on it as far as the screen allows.
void fitOnScreen(QWidget* window, std::optional<QPoint> center = std::nullopt);

// Column keys are the header item's Qt::UserRole data of each column.
void SaveColumnWidths(const QTreeWidget* list, SettingsStore& store, const QString& section);
void RestoreColumnWidths(QTreeWidget* list, const SettingsStore& store, const QString& section);

// Keeps the window at least minW × minH pixels and scales its child widgets by the change of
// the inner size since the previous call (oldWidth/oldHeight hold that size, pixels).
void ScaleControls(QWidget* window, float& oldWidth, float& oldHeight, int minWidthPx,
                   int minHeightPx);

int CountSelectedItems(const QTreeWidget* list);

}  // namespace vqs
