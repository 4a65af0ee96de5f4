#include "recording/program_folder.h"
#include "tools/vqsrecorder.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The desktop program's names: the same home folder and settings.
    QCoreApplication::setOrganizationName(QStringLiteral("Tradomir"));
    QCoreApplication::setApplicationName(QStringLiteral("TradomirVQS"));

    vqs::HeadlessEnvironment env;
    env.programFolder = vqs::resolveProgramFolder(QCoreApplication::applicationDirPath());
    vqs::HeadlessRecorder recorder(std::move(env));
    if (std::optional<int> code = recorder.start()) return *code;
    return QCoreApplication::exec();
}
