// Direct Save: the copy, and its worker thread.
#include "core/direct_save.h"
#include "core/core_text.h"

#include "core/mp3_cut.h"
#include "core/mp3_frame_map.h"
#include "core/mp3_gain_fade.h"
#include "core/mp3_join.h"
#include "core/time_text.h"

#include <QSaveFile>
#include <QThread>

#include <fcntl.h>

namespace snipora {

std::optional<QString> selectionOutsideSource(const Selection& selection, const Mp3FrameMap& map) {
    if (!selection.isValid()) {
        return CoreText::tr("the selection is empty");
    }
    // Milliseconds as the player counts them, so that a mark at the player's end is inside.
    const std::int64_t lengthMs =
        map.sampleRate() > 0 ? map.lengthSamples() * 1000 / map.sampleRate() : 0;
    if (selection.end > lengthMs) {
        return CoreText::tr("the section %1 to %2 does not lie within the file (%3 long)")
            .arg(preciseTime(selection.start), preciseTime(selection.end), preciseTime(lengthMs));
    }
    return std::nullopt;
}

SaveOutcome runDirectSave(const DirectSaveJob& job, const SaveProgress& progress) {
    if (!job.selection.isValid() && job.removedSections.empty()) {
        return SaveOutcome::failed(CoreText::tr("the selection is empty"));
    }
    QString error;
    // The scan reads the whole source: a cancel is heeded during it too.
    bool cancelled = false;
    const std::optional<Mp3FrameMap> map =
        Mp3FrameMap::scan(job.sourceHandle, &error, [&progress, &cancelled] {
            cancelled = progress && !progress(0, 0);
            return !cancelled;
        });
    if (cancelled) {
        return SaveOutcome::cancelled();
    }
    if (!map) {
        return SaveOutcome::failed(error);
    }
    std::vector<Selection> removed = job.removedSections;
    if (job.removeSelection) {
        removed.push_back(job.selection);
    }
    for (const Selection& section : removed.empty() ? std::vector{job.selection} : removed) {
        if (auto outside = selectionOutsideSource(section, *map)) {
            return SaveOutcome::failed(*outside);
        }
    }
    const auto tell = [&job](const QString& text) {
        if (job.notice) {
            job.notice(text);
        }
    };
    std::optional<Mp3CutPlan> plan;
    if (!removed.empty()) {
        const auto removal = planMp3Removal(job.sourceHandle, *map, removed, &error, job.joinFade);
        if (!removal) {
            return SaveOutcome::failed(error);
        }
        QStringList taken;
        for (const RemovedSection& section : removal->sections) {
            taken << CoreText::tr("%1 to %2")
                         .arg(preciseTime(section.startMs), preciseTime(section.endMs));
        }
        tell(CoreText::tr("taking out %1 (the nearest MP3 frame edges)")
                 .arg(taken.join(QStringLiteral(", "))));
        plan = removal->cut;
    } else {
        plan = planMp3Cut(job.sourceHandle, *map, job.selection.start, job.selection.end, &error);
        if (!plan) {
            return SaveOutcome::failed(error);
        }
        if (job.fadeInMs > 0 || job.fadeOutMs > 0) {
            const FittedFades fades =
                fitFades(job.fadeInMs, job.fadeOutMs, map->sampleRate(), plan->samples());
            if (fades.shortened) {
                tell(CoreText::tr("the fades together are longer than the selection: shortened "
                                  "to %1 ms and %2 ms")
                         .arg(fades.inSamples * 1000 / map->sampleRate())
                         .arg(fades.outSamples * 1000 / map->sampleRate()));
            }
            if (auto failure = addMp3Fades(job.sourceHandle, *map, fades, *plan)) {
                return SaveOutcome::failed(*failure);
            }
        }
    }
    // The cut goes into a temporary file beside the target, which replaces the target only once
    // complete and checked: a failed or interrupted save leaves any existing file as it was.
    QSaveFile target(job.target);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return SaveOutcome::failed(
            CoreText::tr("could not create %1: %2").arg(job.target, target.errorString()));
    }
    if (auto failure = writeMp3Cut(job.sourceHandle, *map, *plan, target, progress)) {
        target.cancelWriting();
        return failure;
    }
    if (auto failure = checkMp3Cut(target.handle(), plan->samples())) {
        target.cancelWriting();
        return SaveOutcome::failed(*failure);
    }
    // The copy reaches the disk before the last chance to cancel, so that a cancel during that
    // long wait still keeps the existing file. Only the data is waited for here (most of it went
    // out during the copy and the check): the commit's own sync, the one sync of the save, then
    // writes the file's size and place.
    ::sync_file_range(target.handle(), 0, 0,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                          SYNC_FILE_RANGE_WAIT_AFTER);
    // A cancel during the check or the sync still keeps the existing file.
    if (progress && !progress(plan->outputBytes, plan->outputBytes)) {
        target.cancelWriting();
        return SaveOutcome::cancelled();
    }
    if (!target.commit()) {
        return SaveOutcome::failed(
            CoreText::tr("could not replace %1: %2").arg(job.target, target.errorString()));
    }
    return {};
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
        const SaveOutcome outcome = runDirectSave(job, [&](std::int64_t done, std::int64_t total) {
            // Progress goes to the window at most a few hundred times per save.
            const std::int64_t step = std::max<std::int64_t>(total / 256, 1);
            if (total > 0 && done / step != shown) {
                shown = done / step;
                QMetaObject::invokeMethod(
                    this, [this, done, total] { emit progress(done, total); },
                    Qt::QueuedConnection);
            }
            return !cancelled->load();
        });
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                emit finished(outcome);
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
