#include "tools/vqstool_commands.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    int rc = vqs::runVqstool(QCoreApplication::arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return rc;
}
