#pragma once

#include <QString>

namespace vqs {

// Where secrets are kept: the desktop's keyring (Secret Service or KWallet on Linux, the
// Credential Store on Windows). Calls block until the keyring answers, which may take a while
// when it first asks the user to unlock it; tests give their own.
class Keyring {
public:
    struct Answer {
        enum class Kind {
            kDone,         // stored, removed, or found (then `text` is the secret)
            kNotFound,     // the keyring answers but holds nothing under the key
            kUnreachable,  // no keyring answers, or it refused; `text` says why
        };
        Kind kind = Kind::kNotFound;
        QString text;
    };
    virtual ~Keyring() = default;
    virtual Answer read(const QString& key) = 0;
    virtual Answer write(const QString& key, const QString& secret) = 0;
    virtual Answer remove(const QString& key) = 0;
};

// The desktop's keyring, under the service "Tradomir VQS". It talks to the keyring on a thread
// of its own, so that no other event of the program runs while a caller waits for it.
Keyring& desktopKeyring();

// The key of the FIX quote source's password: one per user name and host.
QString kursquelleKeyringKey(const QString& benutzer, const QString& host);

}  // namespace vqs
