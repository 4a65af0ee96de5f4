#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Dates and numbers as the C locale writes them, whatever the machine's: tests expect fixed
    // texts.
    qputenv("LC_ALL", "C.UTF-8");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
