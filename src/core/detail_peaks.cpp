// Decoding the samples of a zoomed view on a worker thread, one request at a time.
#include "core/detail_peaks.h"

#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <QMetaObject>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_METATYPE(std::vector<snipora::PeakRange>)

namespace snipora {

std::vector<PeakRange> decodeColumns(mpg123_handle* handle, double fromMs, double spanMs,
                                     int columns) {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (columns <= 0 || spanMs <= 0 ||
        mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        return {};
    }
    const double samplesPerMs = double(rate) / 1000.0;
    const auto first = static_cast<off_t>(std::max(std::floor(fromMs * samplesPerMs), 0.0));
    const auto end = static_cast<off_t>(std::ceil((fromMs + spanMs) * samplesPerMs));
    if (mpg123_seek(handle, first, SEEK_SET) < 0) {
        return {};
    }
    std::vector<std::optional<PeakRange>> found(static_cast<std::size_t>(columns));
    const double columnSamples = spanMs * samplesPerMs / columns;
    const double startSample = fromMs * samplesPerMs;
    std::array<std::int16_t, 4608> buffer{};
    off_t sample = first;
    while (sample < end) {
        std::size_t bytes = 0;
        const int result = mpg123_read(handle, buffer.data(), sizeof buffer, &bytes);
        const std::size_t frames =
            bytes / sizeof(std::int16_t) / static_cast<std::size_t>(channels);
        for (std::size_t i = 0; i < frames && sample < end; ++i, ++sample) {
            const auto column =
                static_cast<long>(std::floor((double(sample) - startSample) / columnSamples));
            if (column < 0 || column >= columns) {
                continue;
            }
            auto& range = found[static_cast<std::size_t>(column)];
            for (int c = 0; c < channels; ++c) {
                const auto value = static_cast<std::int8_t>(
                    buffer[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] >>
                    8);
                if (!range) {
                    range = PeakRange{value, value};
                } else {
                    range->low = std::min(range->low, value);
                    range->high = std::max(range->high, value);
                }
            }
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break; // the end of the stream, or a frame that cannot be read
        }
    }
    std::vector<PeakRange> ranges(static_cast<std::size_t>(columns));
    std::optional<PeakRange> before;
    bool any = false;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (found[i]) {
            before = found[i];
            any = true;
        }
        ranges[i] = before.value_or(PeakRange{});
    }
    return any ? ranges : std::vector<PeakRange>{};
}

class DetailWorker : public QObject {
    Q_OBJECT
public:
    explicit DetailWorker(std::shared_ptr<std::atomic<quint64>> latest)
        : latest_(std::move(latest)) {}
    ~DetailWorker() override { close(); }

    // Runs in the worker thread.
    void open(const QByteArray& path) {
        close();
        if (path.isEmpty()) {
            return;
        }
        fd_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            return;
        }
        reader_ = std::make_unique<mpeg::BufferedReader>(fd_);
        handle_ = mpeg::newMpg123Handle();
        if (handle_) {
            // As the player does: enough frames decoded unheard before a seek's target that
            // its bit reservoir is whole (with the default, a VBR stretch starts silent).
            mpg123_param(handle_.get(), MPG123_PREFRAMES, 10, 0.0);
            mpeg::acceptSigned16Only(handle_.get());
        }
        if (!handle_ || !mpeg::openThrough(handle_.get(), *reader_) ||
            mpg123_scan(handle_.get()) != MPG123_OK) {
            // Without the index a seek would land near, not on, the sample asked for.
            close();
        }
    }

    void decode(quint64 request, double fromMs, double spanMs, int columns) {
        if (latest_->load() != request || !handle_) {
            return; // overtaken by a newer request, or no file to decode
        }
        std::vector<PeakRange> ranges = decodeColumns(handle_.get(), fromMs, spanMs, columns);
        if (!ranges.empty() && latest_->load() == request) {
            emit decoded(request, fromMs, spanMs, ranges);
        }
    }

signals:
    void decoded(quint64 request, double fromMs, double spanMs,
                 const std::vector<snipora::PeakRange>& columns);

private:
    void close() {
        handle_.reset();
        reader_.reset();
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    std::shared_ptr<std::atomic<quint64>> latest_;
    int fd_ = -1;
    std::unique_ptr<mpeg::BufferedReader> reader_;
    mpeg::Mpg123Handle handle_;
};

DetailPeakComputer::DetailPeakComputer(QObject* parent)
    : QObject(parent), latest_(std::make_shared<std::atomic<quint64>>(0)),
      worker_(new DetailWorker(latest_)) {
    qRegisterMetaType<std::vector<PeakRange>>();
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &DetailWorker::decoded, this,
            [this](quint64 request, double fromMs, double spanMs,
                   const std::vector<PeakRange>& columns) {
                if (latest_->load() == request) {
                    emit detailReady(fromMs, spanMs, columns);
                }
            });
    thread_.setObjectName(QStringLiteral("waveform detail"));
    // The thread starts with the first file: a window that opens none never pays for it.
}

DetailPeakComputer::~DetailPeakComputer() {
    latest_->fetch_add(1); // whatever waits in the queue is dropped
    if (!thread_.isRunning() && !thread_.isFinished()) {
        delete worker_; // never started: nothing else runs it or deletes it
        return;
    }
    thread_.quit();
    thread_.wait();
}

void DetailPeakComputer::setSource(const QByteArray& path) {
    if (!thread_.isRunning()) {
        thread_.start();
    }
    latest_->fetch_add(1);
    QMetaObject::invokeMethod(worker_, [worker = worker_, path] { worker->open(path); });
}

void DetailPeakComputer::request(double fromMs, double spanMs, int columns) {
    const quint64 request = latest_->fetch_add(1) + 1;
    QMetaObject::invokeMethod(worker_, [worker = worker_, request, fromMs, spanMs, columns] {
        worker->decode(request, fromMs, spanMs, columns);
    });
}

} // namespace snipora

#include "detail_peaks.moc"
