#include "tools/vqsfeed.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return vqs::runVqsfeed(QCoreApplication::arguments().mid(1));
}
