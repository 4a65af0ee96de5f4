#include "gui/shell/german_texts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

namespace vqs {
namespace {

// The standard buttons are German after the programs' set-up: with Qt's translation, and with
// our own where the machine has none.
TEST(GermanQtTexts, StandardButtonsSayJaAndNeinWithAndWithoutQtsTranslation) {
    const QTemporaryDir empty;
    const struct {
        const char* name;
        QStringList folders;
        bool qtsFile;
    } cases[] = {
        {"Qt's translation", qtTranslationFolders(), true},
        {"no translation found", {empty.path(), QString()}, false},
    };
    for (const auto& c : cases) {
        const GermanQtTexts texts(c.folders);
        EXPECT_EQ(texts.loadedFile().isEmpty(), !c.qtsFile)
            << c.name << ": " << texts.loadedFile().toStdString();

        QMessageBox box(QMessageBox::Question, "Tradomir VQS", "Eine Frage?",
                        QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Ja") << c.name;
        EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Nein") << c.name;

        const QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                       QDialogButtonBox::Close);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), "OK") << c.name;
        EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "Abbrechen") << c.name;
        EXPECT_EQ(buttons.button(QDialogButtonBox::Close)->text(), "Schließen") << c.name;
    }
    const QMessageBox after(QMessageBox::Question, "", "", QMessageBox::Yes);
    EXPECT_EQ(after.button(QMessageBox::Yes)->text(), "&Yes") << "gone with its owner";
}

// Our own German says what Qt's translation says, so that the program reads the same on every
// machine.
TEST(GermanQtTexts, OurOwnGermanIsQtsGerman) {
    QTranslator qt;
    ASSERT_TRUE(qt.load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        << "Qt's translations are installed with the build's packages";
    for (const GermanQtText& t : ownGermanQtTexts()) {
        EXPECT_EQ(QString::fromUtf8(t.german), qt.translate(t.context, t.source))
            << t.context << " / " << t.source;
    }
}

}  // namespace
}  // namespace vqs
