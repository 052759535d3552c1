// The cut from the command line, through the same saves as the window.
#include "core/headless_cut.h"
#include "core/core_text.h"

#include "core/convert_save.h"
#include "core/mp3_frame_map.h"
#include "core/quiet_snap.h"
#include "core/removed_sections.h"
#include "core/time_text.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snipora {

namespace {
QString systemReason(int error) {
    return qt_error_string(error);
}

QString shown(const QByteArray& name) {
    return QFile::decodeName(name);
}
} // namespace

HeadlessCut::HeadlessCut(ProcessLauncher& processes, QString programFolder, std::FILE* errors)
    : processes_(processes), programFolder_(std::move(programFolder)), errors_(errors) {}

HeadlessCut::~HeadlessCut() {
    // The saves end before the files they use close: the encoder killed and its file removed,
    // the copy cancelled and its thread waited for. Neither replaces the existing output.
    convert_.reset();
    direct_.reset();
    dropStandIn();
    if (folderHandle_ >= 0) {
        ::close(folderHandle_);
    }
    if (sourceHandle_ >= 0) {
        ::close(sourceHandle_);
    }
}

void HeadlessCut::start(const CutRequest& request) {
    request_ = request;
    sourceHandle_ = ::open(request.input.constData(), O_RDONLY | O_CLOEXEC);
    if (sourceHandle_ < 0) {
        finish(
            CoreText::tr("%1 cannot be read (%2)").arg(shown(request.input), systemReason(errno)));
        return;
    }
    struct stat source = {};
    struct stat existing = {};
    if (::fstat(sourceHandle_, &source) == 0 &&
        ::stat(request.output.constData(), &existing) == 0 && source.st_dev == existing.st_dev &&
        source.st_ino == existing.st_ino) {
        finish(CoreText::tr("the output would replace the input"));
        return;
    }
    if (const auto failure = prepareTarget()) {
        finish(failure);
        return;
    }
    Selection selection{request.startMs, request.endMs};
    std::vector<Selection> removed = request.removedSections;
    if (request.snapToQuiet) {
        QString error;
        // A conversion is exact to the sample, so it can start on a zero crossing too.
        // Every section taken out has its own two marks to snap.
        std::vector<std::int64_t> marks;
        if (request.removeSection) {
            for (const Selection& section : removed) {
                marks.insert(marks.end(), {section.start, section.end});
            }
        } else {
            marks = {selection.start, selection.end};
        }
        const auto snapped = snapToQuiet(sourceHandle_, marks, !request.format.isEmpty(), &error);
        if (!snapped) {
            finish(error);
            return;
        }
        for (std::size_t i = 0; i + 1 < snapped->size(); i += 2) {
            const Selection moved{snapped->at(i).ms, snapped->at(i + 1).ms};
            if (request.removeSection) {
                removed[i / 2] = moved;
            }
            std::fprintf(errors_, "snipora: %s\n",
                         CoreText::tr("snapped to the quiet: %1 to %2")
                             .arg(preciseTime(moved.start), preciseTime(moved.end))
                             .toLocal8Bit()
                             .constData());
        }
        selection = request.removeSection ? removed.front()
                                          : Selection{snapped->at(0).ms, snapped->at(1).ms};
    }
    if (request.format.isEmpty()) {
        // The worker scans the source itself, so the source is read once.
        direct_ = std::make_unique<DirectSave>();
        connect(direct_.get(), &DirectSave::finished, this, [this](SaveOutcome outcome) {
            if (outcome.isDone()) {
                outcome = SaveOutcome::from(placeTarget());
            }
            finish(outcome.isDone() ? std::nullopt
                                    : std::optional(outcomeMessage(SaveKind::Direct, outcome)));
        });
        DirectSaveJob job{sourceHandle_, target_, selection};
        job.fadeInMs = request.fadeInMs;
        job.fadeOutMs = request.fadeOutMs;
        job.removedSections = removed;
        job.joinFade = request.joinFade;
        // Written from the saving thread; one call of fprintf is one line.
        job.notice = [errors = errors_](const QString& text) {
            std::fprintf(errors, "snipora: %s\n", text.toLocal8Bit().constData());
        };
        direct_->start(job);
        return;
    }
    convert_ = std::make_unique<ConvertSave>(processes_);
    connect(convert_.get(), &ConvertSave::finished, this, [this](SaveOutcome outcome) {
        if (outcome.isDone()) {
            outcome = SaveOutcome::from(placeTarget());
        }
        finish(outcome.isDone() ? std::nullopt
                                : std::optional(outcomeMessage(SaveKind::Convert, outcome)));
    });
    // The encoder reads the source as opened here.
    const QString sourceAsOpened =
        QStringLiteral("/proc/%1/fd/%2").arg(QCoreApplication::applicationPid()).arg(sourceHandle_);
    ConvertSaveJob job{programFolder_, selection,       sourceAsOpened,
                       request.format, request.bitrate, target_};
    job.fadeInMs = request.fadeInMs;
    job.fadeOutMs = request.fadeOutMs;
    const auto startConvert = [&] {
        if (job.fadeInMs + job.fadeOutMs > selection.lengthMs()) {
            std::fprintf(errors_, "snipora: %s\n",
                         "the fades together are longer than the selection: shortened to fit");
        }
        convert_->start(job);
    };
    if (!request.removeSection) {
        // The encoder starts at once, while the frame map of what may be hours of source is
        // made: a selection found outside the source ends it again before anything is kept.
        startConvert();
        if (!convert_->isRunning()) {
            return; // refused, and said so
        }
    }
    // The encoder needs to know the section lies within the file: the frame map knows its length.
    QString error;
    const std::optional<Mp3FrameMap> map = Mp3FrameMap::scan(sourceHandle_, &error);
    std::optional<QString> refusal = map ? std::nullopt : std::optional(error);
    if (map) {
        refusal = request.removeSection ? removalRefusal(removed, *map)
                                        : selectionOutsideSource(selection, *map);
    }
    if (refusal) {
        convert_.reset(); // the encoder ended and its file removed, the target untouched
        finish(refusal);
        return;
    }
    if (request.removeSection) {
        // The whole source less the sections: its end in milliseconds rounded up, so that its
        // last sample is in.
        const int rate = map->sampleRate();
        job.selection = Selection{0, (map->lengthSamples() * 1000 + rate - 1) / rate};
        job.removedSections = removed;
        job.sourceSampleRate = rate;
        startConvert();
    }
}

std::optional<QString> HeadlessCut::prepareTarget() {
    const QByteArray& output = request_.output;
    if (QFile::encodeName(QFile::decodeName(output)) == output) {
        target_ = QFile::decodeName(output);
        return std::nullopt;
    }
    // The saves name files by text; this name's bytes are not text. They write a plain name in
    // the same folder instead, reached through a descriptor, so that the folder's own name may
    // be anything too, and the rename at the end gives the file its bytes.
    const qsizetype slash = output.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : output.left(slash);
    folderHandle_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderHandle_ < 0) {
        return CoreText::tr("the folder of %1 cannot be opened (%2)")
            .arg(shown(output), systemReason(errno));
    }
    const QString extension =
        request_.format.isEmpty() ? QStringLiteral("mp3") : request_.format.toLower();
    standIn_ = QStringLiteral(".snipora-%1-output.%2")
                   .arg(QCoreApplication::applicationPid())
                   .arg(extension)
                   .toLatin1();
    target_ = QStringLiteral("/proc/%1/fd/%2/")
                  .arg(QCoreApplication::applicationPid())
                  .arg(folderHandle_) +
              QString::fromLatin1(standIn_);
    return std::nullopt;
}

std::optional<QString> HeadlessCut::placeTarget() {
    if (standIn_.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray& output = request_.output;
    const QByteArray name = output.mid(output.lastIndexOf('/') + 1);
    struct stat old = {};
    if (::fstatat(folderHandle_, name.constData(), &old, 0) == 0) {
        // The new file takes the old one's place with its permissions, as the saves do.
        ::fchmodat(folderHandle_, standIn_.constData(), old.st_mode & 07777, 0);
    }
    if (::renameat(folderHandle_, standIn_.constData(), folderHandle_, name.constData()) != 0) {
        return CoreText::tr("%1 could not be replaced (%2)")
            .arg(shown(output), systemReason(errno));
    }
    standIn_.clear();
    return std::nullopt;
}

void HeadlessCut::dropStandIn() {
    if (!standIn_.isEmpty()) {
        ::unlinkat(folderHandle_, standIn_.constData(), 0);
        standIn_.clear();
    }
}

void HeadlessCut::finish(const std::optional<QString>& failure) {
    if (failure) {
        dropStandIn();
        std::fprintf(errors_, "snipora: %s\n", failure->toLocal8Bit().constData());
    }
    // From the event loop, so that a failure found in start() reaches a loop that runs.
    QMetaObject::invokeMethod(
        this, [this, status = failure ? 1 : 0] { emit finished(status); }, Qt::QueuedConnection);
}

} // namespace snipora
