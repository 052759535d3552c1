// The min/max of the decoded samples of each column of a zoomed view, decoded on a worker.
#pragma once

#include "core/waveform_peaks.h"

#include <QByteArray>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace snipora {

class DetailWorker;

// Lives in the UI thread. The overview keeps one value per few frames; a view finer than that
// asks here for the samples themselves. Decoding and the first exact-seek index (a pass over
// the file) take longer than a frame of the window, so they run on a worker thread; only the
// latest request is answered, the ones it overtook are dropped unread.
class DetailPeakComputer : public QObject {
    Q_OBJECT
public:
    explicit DetailPeakComputer(QObject* parent = nullptr);
    ~DetailPeakComputer() override;

    // The file to decode (bytes as QFile::encodeName gives them); an empty path forgets it.
    void setSource(const QByteArray& path);
    // Asks for `columns` equal columns of [fromMs, fromMs + spanMs); detailReady answers.
    void request(double fromMs, double spanMs, int columns);

signals:
    void detailReady(double fromMs, double spanMs, const std::vector<snipora::PeakRange>& columns);

private:
    std::shared_ptr<std::atomic<quint64>> latest_;
    QThread thread_;
    DetailWorker* worker_; // owned by thread_'s finished() -> deleteLater
};

// Decodes [fromMs, fromMs + spanMs) of the open handle's stream into `columns` min/max pairs;
// a column holding no sample repeats the one before it. Empty when nothing could be decoded.
std::vector<PeakRange> decodeColumns(mpg123_handle_struct* handle, double fromMs, double spanMs,
                                     int columns);

} // namespace snipora
