#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Dates and numbers as the C locale writes them, whatever the machine's: tests expect fixed
    // texts.
    qputenv("LC_ALL", "C.UTF-8");
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
