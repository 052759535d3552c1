// Pauses and quiet points: libmpg123 decodes the source once into a profile of 5 ms blocks.
#include "core/pause_finder.h"
#include "core/core_text.h"

#include "platform/mpeg/mpg123_file.h"

#include <QThread>

#include <mpg123.h>

#include <algorithm>
#include <cmath>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {

constexpr float silenceDb = -200.0f;

float blockLevel(double sumOfSquares, std::int64_t count) {
    if (count == 0 || sumOfSquares <= 0) {
        return silenceDb;
    }
    const double rms = std::sqrt(sumOfSquares / static_cast<double>(count)) / 32768.0;
    return std::max(silenceDb, static_cast<float>(20.0 * std::log10(rms)));
}

} // namespace

std::optional<LoudnessProfile> measureLoudness(int fd, const LoudnessProgress& progress,
                                               SaveOutcome* outcome) {
    mpeg::BufferedReader reader(fd);
    const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (!handle ||
        (mpeg::acceptSigned16Only(handle.get()), !mpeg::openThrough(handle.get(), reader)) ||
        mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        *outcome = SaveOutcome::failed(CoreText::tr("the file cannot be decoded as MPEG audio"));
        return std::nullopt;
    }
    const off_t estimated = mpg123_length(handle.get());
    const std::int64_t totalMs = estimated > 0 ? std::int64_t(estimated) * 1000 / rate : 0;

    LoudnessProfile profile;
    // Block k holds the samples from k * rate * blockMs / 1000 on, so that blocks of a rate that
    // does not divide into whole 5 ms (44,100 Hz) keep to the clock over hours.
    const auto blockEnd = [rate](std::int64_t block) {
        return (block + 1) * rate * LoudnessProfile::blockMs / 1000;
    };
    std::vector<std::int16_t> buffer(std::size_t(channels) * 16384);
    std::int64_t frames = 0;
    std::int64_t position = 0; // of the next sample into the blocks
    double sum = 0;
    std::int64_t inBlock = 0;
    for (;;) {
        std::size_t bytes = 0;
        const int result =
            mpg123_read(handle.get(), buffer.data(), buffer.size() * sizeof(std::int16_t), &bytes);
        const std::size_t samples = bytes / sizeof(std::int16_t);
        for (std::size_t i = 0; i + std::size_t(channels) <= samples; i += std::size_t(channels)) {
            for (int c = 0; c < channels; ++c) {
                const double value = buffer[i + std::size_t(c)];
                sum += value * value;
            }
            ++inBlock;
            if (++position == blockEnd(std::int64_t(profile.blockDb.size()))) {
                profile.blockDb.push_back(blockLevel(sum, inBlock * channels));
                sum = 0;
                inBlock = 0;
            }
        }
        frames += std::int64_t(samples) / channels;
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            *outcome =
                SaveOutcome::failed(CoreText::tr("decoding stopped at %1 ms: %2")
                                        .arg(frames * 1000 / rate)
                                        .arg(QString::fromUtf8(mpg123_strerror(handle.get()))));
            return std::nullopt;
        }
        if (progress && !progress(frames * 1000 / rate, std::max(totalMs, frames * 1000 / rate))) {
            *outcome = SaveOutcome::cancelled();
            return std::nullopt;
        }
    }
    if (inBlock > 0) {
        profile.blockDb.push_back(blockLevel(sum, inBlock * channels));
    }
    profile.lengthMs = frames * 1000 / rate;
    return profile;
}

std::vector<Pause> findPauses(const LoudnessProfile& profile, double thresholdDb,
                              std::int64_t minimumMs) {
    std::vector<Pause> pauses;
    const auto& blocks = profile.blockDb;
    std::size_t i = 0;
    while (i < blocks.size()) {
        if (blocks[i] >= thresholdDb) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < blocks.size() && blocks[end] < thresholdDb) {
            ++end;
        }
        const std::int64_t startMs = std::int64_t(i) * LoudnessProfile::blockMs;
        const std::int64_t endMs =
            std::min(std::int64_t(end) * LoudnessProfile::blockMs, profile.lengthMs);
        if (endMs - startMs >= minimumMs) {
            pauses.push_back(Pause{startMs, endMs});
        }
        i = end;
    }
    return pauses;
}

void applyPauses(const std::vector<Pause>& pauses, bool dropPauses, PieceList& pieces) {
    std::vector<std::int64_t> points;
    std::vector<std::int64_t> dropped; // where each dropped pause's piece starts
    for (const Pause& pause : pauses) {
        if (pause.startMs <= 0 || pause.endMs >= pieces.lengthMs()) {
            continue;
        }
        if (dropPauses) {
            points.push_back(pause.startMs);
            points.push_back(pause.endMs);
            dropped.push_back(pause.startMs);
        } else {
            points.push_back((pause.startMs + pause.endMs) / 2);
        }
    }
    pieces.setSplitPoints(points);
    const std::vector<Piece> result = pieces.pieces();
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (std::find(dropped.begin(), dropped.end(), result[i].startMs) != dropped.end()) {
            pieces.setEnabled(i, false);
        }
    }
}

std::vector<std::int64_t> everyInterval(std::int64_t lengthMs, std::int64_t intervalMs,
                                        const LoudnessProfile* profile, std::int64_t radiusMs) {
    std::vector<std::int64_t> points;
    if (intervalMs <= 0) {
        return points;
    }
    for (std::int64_t at = intervalMs; at < lengthMs; at += intervalMs) {
        std::int64_t point = at;
        if (profile && !profile->blockDb.empty()) {
            const auto last = std::int64_t(profile->blockDb.size()) - 1;
            const std::int64_t from =
                std::clamp<std::int64_t>((at - radiusMs) / LoudnessProfile::blockMs, 0, last);
            const std::int64_t to =
                std::clamp<std::int64_t>((at + radiusMs) / LoudnessProfile::blockMs, 0, last);
            const auto begin = profile->blockDb.begin();
            const auto quietest = std::min_element(begin + from, begin + to + 1);
            // The middle of the quietest block.
            point = std::int64_t(quietest - begin) * LoudnessProfile::blockMs +
                    LoudnessProfile::blockMs / 2;
        }
        points.push_back(point);
    }
    return points;
}

LoudnessScan::LoudnessScan(QObject* parent) : QObject(parent) {}

LoudnessScan::~LoudnessScan() {
    if (thread_) {
        cancel();
        thread_->wait();
        delete thread_;
    }
}

bool LoudnessScan::start(int fd) {
    if (thread_) {
        return false;
    }
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancelled_ = cancelled;
    thread_ = QThread::create([this, own, cancelled] {
        SaveOutcome outcome;
        std::optional<LoudnessProfile> profile;
        if (own < 0) {
            outcome = SaveOutcome::failed(CoreText::tr("the file cannot be read"));
        } else {
            std::int64_t shownPercent = -1;
            profile = measureLoudness(
                own,
                [&](std::int64_t done, std::int64_t total) {
                    // At most a hundred reports per scan reach the window.
                    const std::int64_t percent = total > 0 ? done * 100 / total : 0;
                    if (percent != shownPercent) {
                        shownPercent = percent;
                        QMetaObject::invokeMethod(
                            this, [this, done, total] { emit progress(done, total); },
                            Qt::QueuedConnection);
                    }
                    return !cancelled->load();
                },
                &outcome);
            ::close(own);
        }
        QMetaObject::invokeMethod(
            this,
            [this, outcome, result = std::move(profile)]() mutable {
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                if (result) {
                    profile_ = std::move(*result);
                }
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

void LoudnessScan::cancel() {
    if (cancelled_) {
        cancelled_->store(true);
    }
}

} // namespace snipora
