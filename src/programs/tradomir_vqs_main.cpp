#include "gui/programm.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/german_texts.h"
#include "recording/program_folder.h"

#include <QApplication>
#include <QDateTime>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const vqs::GermanQtTexts germanTexts;
    QApplication::setOrganizationName(QStringLiteral("Tradomir"));
    QApplication::setApplicationName(QStringLiteral("TradomirVQS"));
    QApplication::setWindowIcon(vqs::programIcon());
    // The program lives on in the notification area when its window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    vqs::ProgramEnvironment env;
    env.commandLine = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    env.programFolder = vqs::resolveProgramFolder(QApplication::applicationDirPath());
    vqs::Programm programm(std::move(env));
    // What is worth knowing goes to the error stream too, where a session's log collects it.
    QObject::connect(&programm.recorder(), &vqs::Recorder::logLine, &app, [](const QString& line) {
        QTextStream(stderr) << QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss ") << line
                            << Qt::endl;
    });
    if (!programm.Main()) return programm.exitCode();
    return QApplication::exec();
}
