// A worker thread per piece of work, ended and waited for before its result is handed on.
#include "app/background_work.h"

#include <QThread>

namespace snipora {

BackgroundWork::BackgroundWork(QObject* parent) : QObject(parent) {}

BackgroundWork::~BackgroundWork() {
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

void BackgroundWork::start(std::function<void()> work, std::function<void()> done) {
    waiting_.emplace_back(std::move(work), std::move(done));
    if (!thread_) {
        startNext();
    }
}

void BackgroundWork::startNext() {
    if (waiting_.empty()) {
        return;
    }
    auto [work, done] = std::move(waiting_.front());
    waiting_.pop_front();
    thread_ = QThread::create([this, work = std::move(work), done = std::move(done)] {
        work();
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                // The thread has ended: what it wrote is all there.
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                done();
                startNext();
            },
            Qt::QueuedConnection);
    });
    thread_->start();
}

} // namespace snipora
