// The desktop program as the system ends it: a real signal to a running child process.
#include "recording/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace vqs {
namespace {

TEST(DesktopProgram, SigtermRunsTheNormalShutdownAndExitsWithZero) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/home");
    QDir().mkpath(dir.path() + "/run");
    QFile::setPermissions(dir.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    SettingsStore settings(dir.path() + "/config/Tradomir", "TradomirVQS");
    writeSetting(settings, settings::kVersionsHinweis, "1");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TRADOMIR_VQS_HOME", dir.path() + "/home");
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setReadChannel(QProcess::StandardError);
    program.start(QStringLiteral(TRADOMIR_VQS), {});
    ASSERT_TRUE(program.waitForStarted());
    QString log;
    while (!log.contains("Titel werden aufgezeichnet") && program.waitForReadyRead(30000))
        log += QString::fromUtf8(program.readAllStandardError());
    ASSERT_TRUE(log.contains("Titel werden aufgezeichnet")) << log.toStdString();

    program.terminate();  // SIGTERM
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    log += QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(log.contains("Von der Bravolt-API abgemeldet.")) << log.toStdString();
    EXPECT_EQ(readSetting(settings, settings::kAnzeigen), "-1") << "the switches are stored";
    EXPECT_FALSE(
        settings.GetSetting("Tradomir", "VQS-Bravolt-Programmfenster", "WinState", "").isEmpty())
        << "and the placement";
    EXPECT_TRUE(QDir(dir.path() + "/run").entryList({"TradomirVQS.lock"}).isEmpty())
        << "the lock is released";
}

}  // namespace
}  // namespace vqs
