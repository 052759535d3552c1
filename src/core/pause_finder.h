// Pauses and quiet points found in the decoded sound: a loudness profile and what is read from it.
#pragma once

#include "core/pieces.h"
#include "core/save_outcome.h"

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

// The loudness of the gapless decoded sound in blocks of `blockMs`: the RMS level of all channels
// in dBFS (a full-scale square wave is 0, digital silence far below any threshold).
struct LoudnessProfile {
    static constexpr int blockMs = 5;
    std::vector<float> blockDb;
    std::int64_t lengthMs = 0;
};

// Progress in milliseconds of sound decoded, of about `total`; false stops the measuring.
using LoudnessProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Decodes the source (read through `fd` with pread only) with libmpg123, in the calling thread.
// Nullopt with `outcome` set to why when it cannot be decoded, or to cancelled when `progress`
// stopped it.
std::optional<LoudnessProfile> measureLoudness(int fd, const LoudnessProgress& progress,
                                               SaveOutcome* outcome);

struct Pause {
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    bool operator==(const Pause&) const = default;
};

// Stretches quieter than `thresholdDb` for at least `minimumMs`, in order.
std::vector<Pause> findPauses(const LoudnessProfile& profile, double thresholdDb,
                              std::int64_t minimumMs);

// Splits at the middle of every pause, or around each pause with the pause's own piece switched
// off when `dropPauses`. A pause at either end of the source bounds no piece and is left alone.
void applyPauses(const std::vector<Pause>& pauses, bool dropPauses, PieceList& pieces);

// Split points every `intervalMs`; with a profile, each moved to the quietest block within
// `radiusMs` of it (the earliest of equally quiet ones).
std::vector<std::int64_t> everyInterval(std::int64_t lengthMs, std::int64_t intervalMs,
                                        const LoudnessProfile* profile, std::int64_t radiusMs);

// Measures a loudness profile on a worker thread, so that the window answers meanwhile; progress
// and the end come back through queued signals.
class LoudnessScan : public QObject {
    Q_OBJECT
public:
    explicit LoudnessScan(QObject* parent = nullptr);
    // Stops a running scan and waits for its thread.
    ~LoudnessScan() override;

    // Reads a duplicate of `fd`, which the caller may close at once. False while one is running.
    bool start(int fd);
    void cancel();
    bool isRunning() const { return thread_ != nullptr; }
    // The last scan's profile, once finished() said it succeeded.
    const LoudnessProfile& profile() const { return profile_; }

signals:
    void progress(std::int64_t doneMs, std::int64_t totalMs);
    // Done, cancelled after cancel(), or failed with the reason.
    void finished(snipora::SaveOutcome outcome);

private:
    QThread* thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    LoudnessProfile profile_;
};

} // namespace snipora
