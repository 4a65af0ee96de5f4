#include "gui/shell/small_dialogs.h"

#include "gui/gui_support.h"
#include "support/fake_keyring.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "recording/quote_source.h"
#include "recording/settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace vqs {
namespace {

using test::child;
using test::onNextModal;

TEST(Einstellungen, OnlyOkStoresAndTheNextOpeningShowsWhatIsStored) {
    test::TestContext t;
    t.recorder.options().UmsatzFilterAndere = true;
    struct Case {
        const char* name;
        std::function<void(QWidget*)> leave;
        bool stored;
    } cases[] = {
        {"Abbrechen", [](QWidget* d) { child<QPushButton>(d, "Abbruch")->click(); }, false},
        {"window frame", [](QWidget* d) { d->close(); }, false},
        {"OK", [](QWidget* d) { child<QPushButton>(d, "Okay")->click(); }, true},
    };
    for (const Case& c : cases) {
        onNextModal([&](QWidget* d) {
            EXPECT_FALSE(child<QCheckBox>(d, "optUmsatzfilter(0)")->isChecked()) << c.name;
            EXPECT_TRUE(child<QCheckBox>(d, "optUmsatzfilter(1)")->isChecked()) << c.name;
            child<QCheckBox>(d, "optUmsatzfilter(0)")->setChecked(true);
            child<QCheckBox>(d, "optDatenpflege")->setChecked(true);
            EXPECT_TRUE(child<QCheckBox>(d, "optWiederverbinden")->isChecked()) << c.name;
            child<QCheckBox>(d, "optWiederverbinden")->setChecked(false);
            c.leave(d);
        });
        EinstellungenBearbeiten(nullptr, t.recorder);
        EXPECT_EQ(t.recorder.options().UmsatzFilterBezahlt, c.stored) << c.name;
        EXPECT_EQ(readSetting(t.settings, settings::kUmsatzFilterBezahlt), c.stored ? "1" : "0")
            << c.name;
        EXPECT_EQ(readSetting(t.settings, settings::kAutoDatenpflege), c.stored ? "1" : "0")
            << c.name;
        EXPECT_EQ(t.recorder.options().AutoWiederverbinden, !c.stored) << c.name;
        EXPECT_EQ(readSetting(t.settings, settings::kAutoWiederverbinden), c.stored ? "0" : "1")
            << c.name;
    }
    EXPECT_EQ(readSetting(t.settings, settings::kUmsatzFilterAndere), "1");
}

TEST(Einstellungen, TheQuoteSourcePageStoresAFixSourceOnlyWhenItIsUsable) {
    test::TestContext t;
    const QString passwords = t.dir.filePath("passwort");
    {
        QFile file(passwords);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("geheim\n");
    }
    QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    onNextModal([&](QWidget* d) {
        EXPECT_FALSE(child<QLineEdit>(d, "txtHost")->isEnabled()) << "the simulation needs none";
        child<QComboBox>(d, "cboKursquelle")->setCurrentIndex(1);
        EXPECT_TRUE(child<QLineEdit>(d, "txtHost")->isEnabled());
        child<QLineEdit>(d, "txtHost")->setText("kurse.example.net");
        child<QPushButton>(d, "Okay")->click();
        // Refused: the page says why and stays open.
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(child<QLabel>(d, "lblKursquelleFehler")->text(), "Bitte einen Port angeben.");
        child<QSpinBox>(d, "spnPort")->setValue(9878);
        child<QLineEdit>(d, "txtBenutzer")->setText("anna");
        child<QLineEdit>(d, "txtPasswortDatei")->setText(passwords);
        child<QPushButton>(d, "Okay")->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(child<QLabel>(d, "lblKursquelleFehler")
                        ->text()
                        .contains("darf nur für ihren Eigentümer lesbar sein"));
        QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner);
        child<QPushButton>(d, "Okay")->click();
    });
    EinstellungenBearbeiten(nullptr, t.recorder);

    EXPECT_EQ(kursquelle(t.settings), Kursquelle::kFix);
    test::FakeKeyring keyring;
    const broker::FixSourceSettings fix = readFixSource(t.settings, t.dir.path(), keyring);
    EXPECT_EQ(fix.host, "kurse.example.net");
    EXPECT_EQ(fix.port, 9878);
    EXPECT_EQ(fix.senderCompId, "VQS");
    EXPECT_EQ(fix.targetCompId, "VQSFEED");
    EXPECT_EQ(fix.user, "anna");
    EXPECT_EQ(fix.password, "geheim");
    EXPECT_EQ(fix.heartbeatSeconds, 30);
    EXPECT_FALSE(fix.tls);
    EXPECT_EQ(fix.storeDir, t.dir.path() + "/FIX");
    const QByteArray ini = test::readFile(t.settings.location(t.settings.appX()).path);
    EXPECT_TRUE(ini.contains("[Kursquelle]"));
    EXPECT_FALSE(ini.contains("geheim"));

    // The next opening shows what is stored.
    onNextModal([&](QWidget* d) {
        EXPECT_EQ(child<QComboBox>(d, "cboKursquelle")->currentIndex(), 1);
        EXPECT_EQ(child<QSpinBox>(d, "spnPort")->value(), 9878);
        child<QPushButton>(d, "Abbruch")->click();
    });
    EinstellungenBearbeiten(nullptr, t.recorder);
}

// A password typed on the page goes into the keyring under user and host, never into the
// settings; where no keyring answers, the page says so and stays open.
TEST(Einstellungen, ATypedPasswordGoesIntoTheKeyringOnly) {
    test::TestContext t;
    test::FakeKeyring keyring;
    KursquelleEinstellungen k;
    k.fix = true;
    k.host = "kurse.example.net";
    k.port = 9878;
    k.senderCompId = "VQS";
    k.targetCompId = "VQSFEED";
    frmVQSEinstellungen dialog(t.recorder.options(), k, nullptr, &keyring);
    auto* passwort = child<QLineEdit>(&dialog, "txtPasswort");
    EXPECT_EQ(passwort->echoMode(), QLineEdit::Password);
    passwort->setText("geheim");
    auto* fehler = child<QLabel>(&dialog, "lblKursquelleFehler");

    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(fehler->text(), "Ein Passwort gehört zu einem Benutzer: bitte den Benutzer angeben.");
    child<QLineEdit>(&dialog, "txtBenutzer")->setText("anna");
    keyring.reachable = false;
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(
        fehler->text().startsWith("Das Passwort lässt sich nicht im Schlüsselbund "
                                  "speichern (kein Schlüsselbund erreichbar)."))
        << fehler->text().toStdString();
    EXPECT_TRUE(keyring.held.empty());

    keyring.reachable = true;
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(keyring.held[kursquelleKeyringKey("anna", "kurse.example.net")], "geheim");
    EXPECT_TRUE(passwort->text().isEmpty());
    dialog.kursquelle().write(t.settings);
    EXPECT_FALSE(test::readFile(t.settings.location(t.settings.appX()).path).contains("geheim"));
    EXPECT_EQ(readFixSource(t.settings, t.dir.path(), keyring).password, "geheim");
}

TEST(StartHinweis, TheFrameLeavesTheBoxUntickedAndNoConfirmation) {
    frmStartHinweis hinweis;
    onNextModal([](QWidget* d) {
        child<QCheckBox>(d, "optNichtmehrAnzeigen")->setChecked(true);
        d->close();
    });
    EXPECT_EQ(hinweis.exec(), QDialog::Rejected);
    EXPECT_FALSE(hinweis.nichtMehrAnzeigen());
    EXPECT_TRUE(child<QLabel>(&hinweis, "Image1")->text().contains("DDE-Schnittstelle"));
}

// Both letters the caption underlines tick and untick the box: Alt+H is the box's own (Qt
// presses it after a short animation), Alt+B is answered at once.
TEST(StartHinweis, AltHAndAltBTickTheBox) {
    frmStartHinweis hinweis;
    hinweis.show();
    QApplication::setActiveWindow(&hinweis);
    auto* box = child<QCheckBox>(&hinweis, "optNichtmehrAnzeigen");
    EXPECT_EQ(box->shortcut(), QKeySequence(Qt::ALT | Qt::Key_H));
    QTest::keyClick(&hinweis, Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), box);
    QTest::keyClick(&hinweis, Qt::Key_B, Qt::AltModifier);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(hinweis.isVisible()) << "nothing else pressed";
}

TEST(TradomirInfo, VersionWithoutLeadingZeros) {
    EXPECT_EQ(versionText(2, 1, 4), "Version 2.1.4");
    EXPECT_EQ(versionText(2, 01, 0004), "Version 2.1.4");
    frmTradomirInfo info;
    EXPECT_EQ(child<QLabel>(&info, "lblTitle")->text(), "Tradomir    VQS für Bravolt-API");
    EXPECT_TRUE(child<QLabel>(&info, "lblVersion")->text().startsWith("Version "));
}

}  // namespace
}  // namespace vqs
