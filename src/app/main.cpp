#include "app/app_context.h"
#include "app/program_folder.h"
#include "titles/titel_definitionen_datei.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tradomir"));
    QApplication::setApplicationName(QStringLiteral("TradomirVQS"));
    vqs::SystemClock clock;
    vqs::SettingsStore settings(vqs::SettingsStore::defaultRoot(),
                                QFileInfo(QApplication::applicationFilePath()).completeBaseName());
    vqs::AppContext ctx(vqs::resolveProgramFolder(QApplication::applicationDirPath()), settings,
                        clock);
    vqs::TitelLoadListener listener;
    vqs::LoadTitelDefinitionen(ctx, listener);
    return 0;
}
