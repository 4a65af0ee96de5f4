#pragma once

#include "recording/settings_store.h"

#include <QString>

#include <optional>
#include <vector>

namespace vqs {

// Window placement as stored: outer rectangle in twips (15 per pixel at 96 dpi).
struct TwipsRect {
    float left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

enum WindowState : int { kNormal = 0, kMinimized = 1, kMaximized = 2 };

struct ScreenMetrics {
    float screenWidth = 0, screenHeight = 0;  // primary screen, twips
    float twipsPerPixelX = 15, twipsPerPixelY = 15;
    int monitorCount = 1;
    // The virtual desktop over all monitors, pixels.
    int virtualLeft = 0, virtualTop = 0, virtualWidth = 0, virtualHeight = 0;
};

struct Placement {
    TwipsRect rect;
    int windowState = kNormal;
};

namespace placement {

// Writes "Links", "Oben", "Breite", "Höhe" for a normal window only, "WinState" always.
void savePlacement(SettingsStore& store, const QString& section, const TwipsRect& rect, int state);

// Centred first, then the stored rectangle (all four values or none), left and top kept
// within 0.9 × the screen, then the stored state.
Placement restorePlacement(const SettingsStore& store, const QString& section, TwipsRect current,
                           int currentState, const ScreenMetrics& screen);

// Position only: centred, then the stored left/top, kept so that at most half the window lies
// beyond the left, right or bottom edge of the desktop and the title bar never above its top.
TwipsRect restoreMainPlacement(const SettingsStore& store, const QString& section,
                               TwipsRect current, const ScreenMetrics& screen);

struct Column {
    QString key;
    float width = 0;  // pixels
};
void saveColumns(SettingsStore& store, const QString& section, const std::vector<Column>& columns);
// Stored widths of 1000 or more, and unreadable ones, leave the column's width as it is.
void restoreColumns(const SettingsStore& store, const QString& section,
                    std::vector<Column>& columns);

// The outer size (twips) the window must be enlarged to, when it is smaller than the minimum.
std::optional<TwipsRect> enforceMinimumSize(const TwipsRect& outer, int minWidthPx, int minHeightPx,
                                            const ScreenMetrics& screen);

struct ScaleFactors {
    float fx = 1, fy = 1;
};
// Factors of the new inner size against the previous one; stores the new size as the previous.
ScaleFactors scaleFactors(float innerWidth, float innerHeight, float& oldWidth, float& oldHeight);

}  // namespace placement
}  // namespace vqs
