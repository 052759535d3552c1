// Direct Save: the copy, and its worker thread.
#include "core/direct_save.h"

#include "core/byte_range_copy.h"

#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <array>
#include <cmath>
#include <memory>

#include <unistd.h>

namespace snipora {

std::optional<QString> runDirectSave(const DirectSaveJob& job, const SaveProgress& progress) {
    if (!job.selection.isValid()) {
        return QStringLiteral("the selection is empty");
    }
    const int handle = ::dup(job.sourceHandle);
    QFile source;
    if (handle < 0 || !source.open(handle, QIODevice::ReadOnly | QIODevice::Unbuffered,
                                   QFileDevice::AutoCloseHandle)) {
        if (handle >= 0) {
            ::close(handle);
        }
        return QStringLiteral("the source file cannot be read");
    }
    // The copy goes into a temporary file beside the target, which replaces the target only once
    // complete: a failed or interrupted save leaves any existing file as it was.
    QSaveFile target(job.target);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return QStringLiteral("could not create %1: %2").arg(job.target, target.errorString());
    }
    if (job.mediaLengthMs <= 0) {
        return QStringLiteral("the source has no length");
    }
    // Byte positions count from 1, so a start of 0 is taken as 1.
    const std::int64_t startMs = std::max<std::int64_t>(job.selection.start, 1);
    const std::int64_t bytesPerMs =
        std::llround(static_cast<double>(source.size()) / static_cast<double>(job.mediaLengthMs));
    if (bytesPerMs == 0) {
        return QStringLiteral("the file holds under half a byte per millisecond of playback, so "
                              "the selection has no byte range");
    }
    const std::int64_t start = bytesPerMs * startMs;
    const std::int64_t end = bytesPerMs * job.selection.end;
    const std::int64_t total = end - start + blockBytes;
    auto block = std::make_unique<std::array<char, blockBytes>>();
    if (auto failure = copyByteRange(source, target, start, end, *block,
                                     [&](std::int64_t done) { return progress(done, total); })) {
        target.cancelWriting();
        return failure;
    }
    if (!target.commit()) {
        return QStringLiteral("could not replace %1: %2").arg(job.target, target.errorString());
    }
    return std::nullopt;
}

DirectSave::DirectSave(QObject* parent) : QObject(parent) {}

DirectSave::~DirectSave() {
    if (thread_) {
        cancel();
        thread_->wait();
        delete thread_;
    }
}

bool DirectSave::start(const DirectSaveJob& job) {
    if (thread_) {
        return false;
    }
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancelled_ = cancelled;
    thread_ = QThread::create([this, job, cancelled] {
        std::int64_t shown = -1;
        const std::optional<QString> failure =
            runDirectSave(job, [&](std::int64_t done, std::int64_t total) {
                // Progress goes to the window at most a few hundred times per save.
                const std::int64_t step = std::max<std::int64_t>(total / 256, 1);
                if (done / step != shown) {
                    shown = done / step;
                    QMetaObject::invokeMethod(
                        this, [this, done, total] { emit progress(done, total); },
                        Qt::QueuedConnection);
                }
                return !cancelled->load();
            });
        QMetaObject::invokeMethod(
            this,
            [this, failure] {
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                emit finished(failure);
            },
            Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

void DirectSave::cancel() {
    if (cancelled_) {
        cancelled_->store(true);
    }
}

} // namespace snipora
