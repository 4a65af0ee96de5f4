#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace vqs::test {

// Runs action on the next modal window as soon as it is shown (a modal dialog blocks in its own
// loop, so the test acts from inside that loop).
void onNextModal(std::function<void(QWidget*)> action);

// Finds a child by its name, failing the test when there is none.
template <typename T>
T* child(const QWidget* parent, const QString& name) {
    return parent ? parent->findChild<T*>(name) : nullptr;
}

// Sends a close request as the window manager would (spontaneous, from the title bar).
void closeFromTitleBar(QWidget* window);

}  // namespace vqs::test
