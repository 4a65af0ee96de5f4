#include "app/program_folder.h"
#include "gui/programm.h"
#include "gui/shell/app_icon.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tradomir"));
    QApplication::setApplicationName(QStringLiteral("TradomirVQS"));
    QApplication::setWindowIcon(vqs::programIcon());
    // The program lives on in the notification area when its window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    vqs::ProgramEnvironment env;
    env.commandLine = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    env.programFolder = vqs::resolveProgramFolder(QApplication::applicationDirPath());
    vqs::Programm programm(std::move(env));
    if (!programm.Main()) return programm.exitCode();
    return QApplication::exec();
}
