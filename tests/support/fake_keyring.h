#pragma once

#include "recording/keyring.h"

#include <QString>

#include <map>

namespace vqs::test {

// A keyring in memory; one that does not answer when `reachable` is false.
class FakeKeyring final : public Keyring {
public:
    Answer read(const QString& key) override {
        if (!reachable) return unreachable();
        const auto it = held.find(key);
        return it == held.end() ? Answer{} : Answer{Answer::Kind::kDone, it->second};
    }
    Answer write(const QString& key, const QString& secret) override {
        if (!reachable) return unreachable();
        held[key] = secret;
        return {Answer::Kind::kDone, {}};
    }
    Answer remove(const QString& key) override {
        if (!reachable) return unreachable();
        held.erase(key);
        return {Answer::Kind::kDone, {}};
    }

    std::map<QString, QString> held;
    bool reachable = true;

private:
    static Answer unreachable() {
        return {Answer::Kind::kUnreachable, QStringLiteral("kein Schlüsselbund erreichbar")};
    }
};

}  // namespace vqs::test
