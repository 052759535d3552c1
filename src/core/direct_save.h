// Direct Save: the selection's MP3 frames copied into a new file, off the window's thread.
#pragma once

#include "core/save_outcome.h"
#include "core/selection.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace snipora {

struct DirectSaveJob {
    int sourceHandle = -1; // the source as opened; the save reads a duplicate of it
    QString target;        // the chosen path; replaced only once the copy is complete
    Selection selection;
    // Fades at the selection's edges, made by lowering granule gains; 0 for none.
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;
    // Writes the source without the selection (joined on frame edges) instead of the selection.
    bool removeSelection = false;
    // Sections taken out as well, or alone when the selection is not (pieces switched off).
    std::vector<Selection> removedSections = {};
    // Each join of a removal softened by lowering the gains of the granules beside it.
    bool joinFade = false;
    // Told, from the saving thread, what the save changed of what was asked (fades shortened
    // to fit, the section's marks moved to frame edges).
    std::function<void(const QString&)> notice = nullptr;
};

class Mp3FrameMap;

// Why the selection cannot be cut from the source the map describes (empty, or reaching past its
// end), nothing when it can.
std::optional<QString> selectionOutsideSource(const Selection& selection, const Mp3FrameMap& map);

// Called with the bytes written and the bytes to write; false cancels the save.
using SaveProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Runs a Direct Save in the calling thread: the source's tags, a fresh length header that makes
// decoders give exactly the marked samples, and the selection's whole frames. The output is
// decoded back and checked before it replaces anything. A failed or cancelled save leaves any
// existing file untouched.
SaveOutcome runDirectSave(const DirectSaveJob& job, const SaveProgress& progress);

// Runs Direct Saves on a worker thread, so that the window answers during the copy; progress
// and the outcome come back through queued signals.
class DirectSave : public QObject {
    Q_OBJECT
public:
    explicit DirectSave(QObject* parent = nullptr);
    // Cancels a running save and waits for its thread.
    ~DirectSave() override;

    // False when a save is already running.
    bool start(const DirectSaveJob& job);
    void cancel();
    bool isRunning() const { return thread_ != nullptr; }

signals:
    void progress(std::int64_t done, std::int64_t total);
    void finished(SaveOutcome outcome);

private:
    QThread* thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

} // namespace snipora
