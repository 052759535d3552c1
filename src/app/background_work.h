// One piece of work at a time on a thread of its own, its end reported on the window's thread.
#pragma once

#include <QObject>

#include <functional>

class QThread;

namespace snipora {

// For the window's short reads of the source (snapping, a removal's frame edges): a long file
// would hold up the window while its frames are indexed.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject* parent = nullptr);
    // Waits for running work: it reads the source, which may not close under it.
    ~BackgroundWork() override;

    // Runs `work` on the thread, then `done` on this object's thread; false while work runs.
    bool start(std::function<void()> work, std::function<void()> done);
    bool isRunning() const { return thread_ != nullptr; }

private:
    QThread* thread_ = nullptr;
};

} // namespace snipora
