#pragma once

#include "app/app_context.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "app/settings_store.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <vector>

namespace vqs::test {

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// Records every message and answers from a queue of prepared results (0 when empty).
class RecordingMessages final : public MessagePresenter {
public:
    struct Shown {
        QString text;
        int style;
    };
    int ShowMessage(const QString& text, int style) override;
    void answerNext(int result) { answers_.push_back(result); }
    std::vector<Shown> shown;

private:
    std::deque<int> answers_;
};

// Records what the core tells the main window.
class RecordingMainWindow final : public MainWindowPort {
public:
    void setStartInfo(const QString& text) override { startInfo.push_back(text); }
    void setProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void setProgressValue(int value) override { progressValues.push_back(value); }
    void TitelInfoAktualisieren() override { ++titelInfoCalls; }
    void increaseKursanzahl() override { ++kursanzahl; }
    struct Entry {
        QString key;
        Kursart kind;
        float kurs;
        float volume;
        double zeit;
    };
    void Protokolleintrag(const TitelDef& def, Kursart kind, const QString&, float kurs,
                          float volume, double zeit) override;

    int kursanzahl = 0;
    std::vector<Entry> monitor;
    QStringList startInfo;
    int progressMaximum = -1;
    std::vector<int> progressValues;
    int titelInfoCalls = 0;
};

class CountingLoop final : public EventLoopPort {
public:
    void yield() override { ++yields; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    int yields = 0;
    int busyDepth = 0;
};

// A program folder, a settings root and a context wired to recording ports, in a temp folder;
// the broker is the given factory (a fake or the simulated service), none by default.
struct TestContext {
    TestContext() : TestContext(BrokerSessionFactory{}) {}
    explicit TestContext(BrokerSessionFactory factory);
    QTemporaryDir dir;
    ManualClock clock;
    SettingsStore settings;
    RecordingMessages messages;
    RecordingMainWindow mainWindow;
    CountingLoop loop;
    AppContext ctx;
};

}  // namespace vqs::test
