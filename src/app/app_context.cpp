#include "app/app_context.h"

#include "titles/titel_objekt.h"

#include <QTextStream>

namespace vqs {
namespace {

// Without a window, a message goes to the error stream and counts as unanswered.
class StderrMessages final : public MessagePresenter {
public:
    int ShowMessage(const QString& text, int /*style*/) override {
        QTextStream(stderr) << text << Qt::endl;
        return msg::kResultNone;
    }
};

StderrMessages gStderrMessages;
EventLoopPort gNoLoop;
MainWindowPort gNoMainWindow;

}  // namespace

AppContext::AppContext(QString programFolder, SettingsStore& settings, const Clock& clock,
                       BrokerSessionFactory brokerFactory)
    : programFolder_(std::move(programFolder)),
      settings_(settings),
      clock_(clock),
      messages_(&gStderrMessages),
      loop_(&gNoLoop),
      mainWindow_(&gNoMainWindow),
      session_(std::move(brokerFactory), [this]() -> MessagePresenter& { return *messages_; }),
      tickWriter_(TitelDefinitionen, Datenpfad, clock_) {}

AppContext::~AppContext() = default;

QString AppContext::definitionsFilePath() const {
    return programFolder_ + QStringLiteral("/Bravolt_Titel.Dat");
}

void AppContext::setMessagePresenter(MessagePresenter* p) { messages_ = p ? p : &gStderrMessages; }
void AppContext::setEventLoop(EventLoopPort* p) { loop_ = p ? p : &gNoLoop; }
void AppContext::setMainWindow(MainWindowPort* p) { mainWindow_ = p ? p : &gNoMainWindow; }

}  // namespace vqs
