#pragma once

#include "support/manual_clock.h"
#include "tools/vqsfeed.h"

#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <mutex>

namespace vqs::test {

// vqsfeed's logic on a thread of its own. Its clock moves only on that thread, while the test's
// thread waits for it (advance()), so that both sides see the same instants.
class FeedThread {
public:
    FeedThread(QuoteFeedOptions options, broker::SimulationSettings simulation, QDateTime start)
        : clock_(std::move(start)) {
        context_.moveToThread(&thread_);
        thread_.start();
        run([&] {
            feed_ = std::make_unique<QuoteFeed>(options, simulation, clock_,
                                                [this](const QString& line) {
                                                    std::lock_guard lock(mutex_);
                                                    log_ << line;
                                                });
            feed_->setWake([this] {
                QMetaObject::invokeMethod(
                    &context_,
                    [this] {
                        if (feed_) feed_->pump();  // a wake may come after the feed stopped
                    },
                    Qt::QueuedConnection);
            });
            feed_->start();
        });
    }
    ~FeedThread() {
        stop();
        thread_.quit();
        thread_.wait();
    }
    int port() const { return port_ ? port_ : (port_ = feed_->port()); }
    void advance(qint64 ms) {
        run([&] {
            clock_.advanceMs(ms);
            feed_->pump();
        });
    }
    void stop() {
        run([&] {
            if (feed_) feed_->stop();
            feed_.reset();
        });
    }
    QStringList log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }

private:
    void run(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    }
    QThread thread_;
    QObject context_;
    ManualClock clock_;
    std::unique_ptr<QuoteFeed> feed_;
    mutable int port_ = 0;
    mutable std::mutex mutex_;
    QStringList log_;
};

}  // namespace vqs::test
