// Pieces of work done one after another on a thread of their own, each end reported on the window's
// thread.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <utility>

class QThread;

namespace snipora {

// For the window's short reads of the source (snapping, a removal's frame edges): a long file
// would hold up the window while its frames are indexed.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject* parent = nullptr);
    // Waits for the running work (it reads the source, which may not close under it); work
    // still waiting is dropped.
    ~BackgroundWork() override;

    // Runs `work` on a thread once the work before it is done, then `done` on this object's
    // thread.
    void start(std::function<void()> work, std::function<void()> done);
    bool isRunning() const { return thread_ != nullptr; }

private:
    void startNext();

    QThread* thread_ = nullptr;
    std::deque<std::pair<std::function<void()>, std::function<void()>>> waiting_;
};

} // namespace snipora
