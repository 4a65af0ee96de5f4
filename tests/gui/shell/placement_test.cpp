#include "gui/shell/placement.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

namespace vqs {
namespace {

// 1920 × 1080 pixels at 96 dpi.
ScreenMetrics singleScreen() {
    ScreenMetrics s;
    s.screenWidth = 1920 * 15.0f;
    s.screenHeight = 1080 * 15.0f;
    s.virtualWidth = 1920;
    s.virtualHeight = 1080;
    return s;
}

// A second 1280 × 1024 monitor left of the primary one.
ScreenMetrics secondScreenOnTheLeft() {
    ScreenMetrics s = singleScreen();
    s.monitorCount = 2;
    s.virtualLeft = -1280;
    s.virtualTop = 0;
    s.virtualWidth = 1280 + 1920;
    s.virtualHeight = 1080;
    return s;
}

class PlacementTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    SettingsStore store_{dir_.path(), QStringLiteral("TradomirVQS")};
    const QString section_ = QStringLiteral("RealtimeTitel");
    const TwipsRect window_{1000, 2000, 9000, 6300};  // 600 × 420 pixels

    void store4(const char* l, const char* t, const char* w, const char* h) {
        const QString app = SettingsStore::appT();
        store_.SaveSetting(app, section_, "Links", l);
        store_.SaveSetting(app, section_, "Oben", t);
        store_.SaveSetting(app, section_, "Breite", w);
        store_.SaveSetting(app, section_, QStringLiteral("Höhe"), h);
    }
};

TEST_F(PlacementTest, RestoreWindowPosRules) {
    const ScreenMetrics screen = singleScreen();
    const TwipsRect centred{(28800 - 9000) / 2.0f, (16200 - 6300) / 2.0f, 9000, 6300};
    struct Case {
        const char* name;
        std::function<void()> stored;
        TwipsRect expected;
        int state;
    } cases[] = {
        {"first start: centred", [] {}, centred, kNormal},
        {"stored placement", [&] { store4("300", "450", "12000", "9000"); },
         TwipsRect{300, 450, 12000, 9000}, kNormal},
        {"left beyond 0.9 × width", [&] { store4("28000", "450", "12000", "9000"); },
         TwipsRect{0.9f * 28800, 450, 12000, 9000}, kNormal},
        {"top beyond 0.9 × height", [&] { store4("300", "16000", "12000", "9000"); },
         TwipsRect{300, 0.9f * 16200, 12000, 9000}, kNormal},
        {"negative values stay", [&] { store4("-3000", "-150", "12000", "9000"); },
         TwipsRect{-3000, -150, 12000, 9000}, kNormal},
        {"one unreadable value: stays centred", [&] { store4("300", "x", "12000", "9000"); },
         centred, kNormal},
        {"maximised at close",
         [&] {
             placement::savePlacement(store_, section_, TwipsRect{300, 450, 12000, 9000}, kNormal);
             placement::savePlacement(store_, section_, TwipsRect{0, 0, 28800, 16200}, kMaximized);
         },
         TwipsRect{300, 450, 12000, 9000}, kMaximized},
    };
    for (const Case& c : cases) {
        QTemporaryDir fresh;
        store_ = SettingsStore(fresh.path(), QStringLiteral("TradomirVQS"));
        c.stored();
        Placement p = placement::restorePlacement(store_, section_, window_, kNormal, screen);
        EXPECT_EQ(p.rect, c.expected) << c.name;
        EXPECT_EQ(p.windowState, c.state) << c.name;
    }
}

TEST_F(PlacementTest, RestoreMainWindowPosKeepsHalfTheWindowOnTheDesktop) {
    const QString t = SettingsStore::appT();
    struct Case {
        const char* name;
        ScreenMetrics screen;
        const char* left;  // nullptr: nothing stored
        const char* top;
        float expectedLeft, expectedTop;
    } cases[] = {
        {"first start: centred", singleScreen(), nullptr, nullptr, 9900, 4950},
        {"inside", singleScreen(), "1500", "1500", 1500, 1500},
        {"too far right", singleScreen(), "27000", "1500", 28800 - 4500, 1500},
        {"too far down", singleScreen(), "1500", "15000", 1500, 16200 - 3150},
        {"left of the desktop", singleScreen(), "-8000", "1500", -4500, 1500},
        {"above the top", singleScreen(), "1500", "-300", 1500, 0},
        {"on a monitor left of the primary", secondScreenOnTheLeft(), "-15000", "1500", -15000,
         1500},
        {"beyond the left monitor", secondScreenOnTheLeft(), "-30000", "1500", -19200 - 4500, 1500},
    };
    for (const Case& c : cases) {
        QTemporaryDir fresh;
        store_ = SettingsStore(fresh.path(), QStringLiteral("TradomirVQS"));
        if (c.left) {
            store_.SaveSetting(t, "VQS-Bravolt-Programmfenster", "Links", c.left);
            store_.SaveSetting(t, "VQS-Bravolt-Programmfenster", "Oben", c.top);
        }
        TwipsRect r = placement::restoreMainPlacement(store_, "VQS-Bravolt-Programmfenster",
                                                      window_, c.screen);
        EXPECT_FLOAT_EQ(r.left, c.expectedLeft) << c.name;
        EXPECT_FLOAT_EQ(r.top, c.expectedTop) << c.name;
        EXPECT_EQ(r.width, window_.width) << c.name << ": the size is not restored";
    }
}

TEST_F(PlacementTest, ColumnWidthsAreStoredInHundredthsAndWideOnesIgnored) {
    std::vector<placement::Column> columns{{"Titel", 250.567f}, {"WKN", 80}};
    placement::saveColumns(store_, "VQSFileSelect", columns);
    EXPECT_EQ(store_.GetSetting(SettingsStore::appT(), "VQSFileSelect", "Titel", ""), "25056");

    store_.SaveSetting(SettingsStore::appT(), "VQSFileSelect", "WKN", "100000");  // 1000 pixels
    std::vector<placement::Column> restored{{"Titel", 10}, {"WKN", 10}, {"Neu", 10}};
    placement::restoreColumns(store_, "VQSFileSelect", restored);
    EXPECT_FLOAT_EQ(restored[0].width, 250.56f);
    EXPECT_FLOAT_EQ(restored[1].width, 10) << "1000 or more keeps the design width";
    EXPECT_FLOAT_EQ(restored[2].width, 10) << "nothing stored keeps the design width";
}

TEST_F(PlacementTest, AWindowDraggedTooSmallSpringsBackAndControlsScaleByTheChange) {
    ScreenMetrics screen = singleScreen();
    auto bigger =
        placement::enforceMinimumSize(TwipsRect{0, 0, 500 * 15, 300 * 15}, 600, 420, screen);
    ASSERT_TRUE(bigger);
    EXPECT_EQ(*bigger, (TwipsRect{0, 0, 600 * 15, 420 * 15}));
    EXPECT_FALSE(placement::enforceMinimumSize(TwipsRect{0, 0, 9000, 6300}, 600, 420, screen));

    float oldW = 600, oldH = 400;
    placement::ScaleFactors f = placement::scaleFactors(900, 200, oldW, oldH);
    EXPECT_FLOAT_EQ(f.fx, 1.5f);
    EXPECT_FLOAT_EQ(f.fy, 0.5f);
    EXPECT_EQ(oldW, 900);
    EXPECT_EQ(oldH, 200);
}

}  // namespace
}  // namespace vqs
