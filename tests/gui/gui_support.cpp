#include "gui/gui_support.h"

#include <QtTest/qtestspontaneevent.h>
#include <QApplication>
#include <QCloseEvent>
#include <QTimer>

namespace vqs::test {

void onNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal->isVisible()) || ++*tries > 2000) {
            timer->stop();
            timer->deleteLater();
            if (modal) action(modal);
        }
    });
    timer->start(0);
}

void closeFromTitleBar(QWidget* window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::sendEvent(window, &event);
}

}  // namespace vqs::test
