#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace vqs::test {

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

int RecordingMessages::ShowMessage(const QString& text, int style) {
    shown.push_back({text, style});
    if (answers_.empty()) return msg::kResultNone;
    int r = answers_.front();
    answers_.pop_front();
    return r;
}

void RecordingMainWindow::Protokolleintrag(const TitelDef& def, Kursart kind, const QString&,
                                           float kurs, float volume, double zeit) {
    monitor.push_back({def.key(), kind, kurs, volume, zeit});
}

TestContext::TestContext(BrokerSessionFactory factory)
    : clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0))),
      settings(dir.path() + QStringLiteral("/config"), QStringLiteral("TradomirVQS")),
      ctx(dir.path(), settings, clock, std::move(factory)) {
    ctx.setMessagePresenter(&messages);
    ctx.setMainWindow(&mainWindow);
    ctx.setEventLoop(&loop);
    ctx.Datenpfad = dir.path() + QStringLiteral("/RealtimeData");
    QDir().mkpath(ctx.Datenpfad);
}

}  // namespace vqs::test
