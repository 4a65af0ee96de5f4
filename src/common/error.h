#pragma once

#include <QString>

#include <stdexcept>

namespace vqs {

// An error whose message is the German description that the user sees after a fixed prefix
// ("Fehler beim Laden der Titeldefinitionen aufgetreten: " + message()).
class VqsError : public std::runtime_error {
public:
    explicit VqsError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// What the user is told of an error: a VqsError's own German text, else the library's words.
inline QString fehlerText(const std::exception& e) {
    const auto* vqs = dynamic_cast<const VqsError*>(&e);
    return vqs ? vqs->message() : QString::fromLocal8Bit(e.what());
}

// Runs one step of a sequence whose steps must all run, whatever fails before (shutdown, unload).
template <typename F>
void runStep(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

}  // namespace vqs
