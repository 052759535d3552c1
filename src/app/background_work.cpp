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

bool BackgroundWork::start(std::function<void()> work, std::function<void()> done) {
    if (thread_) {
        return false;
    }
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
            },
            Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

} // namespace snipora
