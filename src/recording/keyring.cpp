#include "recording/keyring.h"

#include <qt6keychain/keychain.h>
#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

namespace vqs {

namespace {

const QString kService = QStringLiteral("Tradomir VQS");
// Long enough for a user to type the keyring's own password when it asks for it.
constexpr std::chrono::seconds kAnswerTimeout{60};

Keyring::Answer answerOf(QKeychain::Job& job) {
    using Kind = Keyring::Answer::Kind;
    switch (job.error()) {
        case QKeychain::NoError: {
            auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(&job);
            return {Kind::kDone, read ? read->textData() : QString()};
        }
        case QKeychain::EntryNotFound:
            return {Kind::kNotFound, {}};
        case QKeychain::AccessDeniedByUser:
            return {Kind::kUnreachable, QStringLiteral("der Zugriff wurde abgelehnt")};
        default:
            return {Kind::kUnreachable, job.errorString().isEmpty()
                                            ? QStringLiteral("kein Schlüsselbund erreichbar")
                                            : job.errorString()};
    }
}

class DesktopKeyring final : public Keyring {
public:
    DesktopKeyring() {
        thread_.setObjectName(QStringLiteral("Schlüsselbund"));
        context_.moveToThread(&thread_);
        thread_.start();
    }
    ~DesktopKeyring() override {
        thread_.quit();
        thread_.wait();
    }

    Answer read(const QString& key) override {
        return run([key] {
            auto* job = new QKeychain::ReadPasswordJob(kService);
            job->setKey(key);
            return job;
        });
    }
    Answer write(const QString& key, const QString& secret) override {
        return run([key, secret] {
            auto* job = new QKeychain::WritePasswordJob(kService);
            job->setKey(key);
            job->setTextData(secret);
            return job;
        });
    }
    Answer remove(const QString& key) override {
        const Answer answer = run([key] {
            auto* job = new QKeychain::DeletePasswordJob(kService);
            job->setKey(key);
            return job;
        });
        // Nothing there is what removing wants.
        return answer.kind == Answer::Kind::kNotFound ? Answer{Answer::Kind::kDone, {}} : answer;
    }

private:
    // The job is made, started and deleted on the keyring's thread, where its D-Bus calls run.
    template <typename MakeJob>
    Answer run(MakeJob makeJob) {
        auto promise = std::make_shared<std::promise<Answer>>();
        std::future<Answer> answer = promise->get_future();
        QMetaObject::invokeMethod(
            &context_,
            [makeJob, promise] {
                QKeychain::Job* job = makeJob();
                job->setAutoDelete(true);
                QObject::connect(
                    job, &QKeychain::Job::finished, job,
                    [promise](QKeychain::Job* done) { promise->set_value(answerOf(*done)); });
                job->start();
            },
            Qt::QueuedConnection);
        if (answer.wait_for(kAnswerTimeout) != std::future_status::ready)
            return {Answer::Kind::kUnreachable,
                    QStringLiteral("der Schlüsselbund hat nicht geantwortet")};
        return answer.get();
    }

    QThread thread_;
    QObject context_;
};

DesktopKeyring* instance = nullptr;

// Ended with the application, while Qt's D-Bus connection still stands.
void endDesktopKeyring() {
    delete instance;
    instance = nullptr;
}

}  // namespace

Keyring& desktopKeyring() {
    if (!instance) {
        instance = new DesktopKeyring;
        qAddPostRoutine(endDesktopKeyring);
    }
    return *instance;
}

QString kursquelleKeyringKey(const QString& benutzer, const QString& host) {
    return QStringLiteral("Kursquelle %1@%2").arg(benutzer, host);
}

}  // namespace vqs
