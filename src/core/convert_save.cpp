// Convert Save: the encoder's run into a temporary file, the probe of its output, the rename.
#include "core/convert_save.h"
#include "core/core_text.h"

#include "core/decoded_samples.h"
#include "core/encoder_command.h"
#include "core/removed_sections.h"
#include "platform/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <filesystem>
#include <system_error>

namespace snipora {

namespace {
QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A fresh name beside the target, with the target's extension so that the encoder picks the
// same container. The name is reserved and freed again at once: the encoder must find no file
// there, or it would ask before overwriting.
std::optional<QString> temporaryNameBeside(const QString& target, QString* error) {
    const QFileInfo info(target);
    QTemporaryFile reserve(info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() +
                           QStringLiteral(".XXXXXX.") + info.suffix());
    if (!reserve.open()) {
        *error = reserve.errorString();
        return std::nullopt;
    }
    return reserve.fileName();
}

std::filesystem::path fileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// ffprobe comes with the encoder: beside the link in the program's folder, beside what the link
// points to, or on the search path.
QString probeProgram(const QString& programFolder) {
    const QString beside = programFolder + QStringLiteral("/ffprobe");
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    const QFileInfo encoder(programFolder + QStringLiteral("/ffmpeg"));
    const QString target =
        QFileInfo(encoder.canonicalFilePath()).absolutePath() + QStringLiteral("/ffprobe");
    if (encoder.exists() && QFileInfo(target).isExecutable()) {
        return target;
    }
    return QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
}

// How far the decoded length may lie from the selection's, beyond what the format adds of its
// own: room for a resampler's rounding, yet a cut-off output or a wrong length is caught.
constexpr double lengthToleranceMs = 30.0;
} // namespace

QString withFormatExtension(const QString& path, const QString& format) {
    if (path.isEmpty()) {
        return path;
    }
    const QString extension = format.toLower();
    const QFileInfo info(path);
    if (info.suffix().compare(extension, Qt::CaseInsensitive) == 0) {
        return path;
    }
    if (outputFormats().contains(info.suffix(), Qt::CaseInsensitive)) {
        return path.left(path.size() - info.suffix().size()) + extension;
    }
    return path + QLatin1Char('.') + extension;
}

ConvertSave::ConvertSave(ProcessLauncher& launcher, QObject* parent)
    : QObject(parent), encoder_(launcher), probe_(launcher) {
    connect(&encoder_, &ProcessRunner::outputLine, this, &ConvertSave::encoderOutput);
    connect(&encoder_, &ProcessRunner::finished, this, &ConvertSave::encoderFinished);
    connect(&probe_, &ProcessRunner::outputLine, this, &ConvertSave::probeOutput);
    connect(&probe_, &ProcessRunner::finished, this, &ConvertSave::probeFinished);
}

ConvertSave::~ConvertSave() {
    abandon();
}

void ConvertSave::abandon() {
    if (!running_) {
        return;
    }
    encoder_.kill(false);
    probe_.kill(false);
    endCount();
    if (!temporary_.isEmpty()) {
        QFile::remove(temporary_);
        temporary_.clear();
    }
    running_ = false;
}

void ConvertSave::start(const ConvertSaveJob& job) {
    job_ = job;
    running_ = true;
    decodedSamples_ = 0;
    sampleRate_ = 0;
    if (const std::optional<QString> refusal = bitrateRefusal(job.format, job.bitrate)) {
        finish(SaveOutcome::failed(*refusal));
        return;
    }
    if (!job.removedSections.empty() && job.sourceSampleRate <= 0) {
        fail(CoreText::tr("the sections cannot be taken out to the sample: the source's "
                          "sample rate is not known."));
        return;
    }
    keptMs_ = keptLengthMs(job.selection, job.removedSections);
    QString error;
    const std::optional<QString> temporary = temporaryNameBeside(job.target, &error);
    if (!temporary) {
        fail(CoreText::tr("the folder of %1 cannot be written to (%2).")
                 .arg(native(job.target), error));
        return;
    }
    temporary_ = *temporary;
    startEncoder(false);
}

void ConvertSave::startEncoder(bool convertCover) {
    coverConverted_ = convertCover;
    const ProcessCommand command = encoderCommand(
        EncoderJob{job_.programFolder, job_.selection, job_.inputPath, job_.format, job_.bitrate,
                   temporary_, convertCover, job_.fadeInMs, job_.fadeOutMs, job_.removedSections,
                   job_.sourceSampleRate, job_.crossFadeMs, job_.tags});
    commandLine_ = command.commandLine;
    qCInfo(logEncoder) << "running" << command.program << command.arguments;
    encoder_.start(command);
    if (job_.format == QStringLiteral("MP3")) {
        // Decoded inside the program while the encoder writes it, so that only its last frames
        // are left once the encoder is done: starting ffprobe alone would take longer.
        startCount();
    }
}

void ConvertSave::cancel() {
    if (!running_) {
        return;
    }
    if (encoder_.isRunning()) {
        encoder_.kill(); // its report ends the save, and the count with it
        return;
    }
    probe_.kill();
    if (counter_) {
        follow_->stop(); // the count ends early and reports the cancel
    }
}

void ConvertSave::encoderOutput(const QByteArray& line) {
    // "-progress pipe:1" reports the time written as out_time_us (out_time_ms is microseconds
    // too, despite its name).
    if (line.startsWith("out_time_us=")) {
        bool ok = false;
        const qint64 micros = line.mid(12).toLongLong(&ok);
        if (ok && micros >= 0) {
            emit progress(std::min<std::int64_t>(micros / 1000, keptMs_), keptMs_);
        }
    }
}

void ConvertSave::encoderFinished(const RunOutcome& outcome) {
    using Ending = RunOutcome::Ending;
    if (!running_) {
        return; // ended meanwhile
    }
    qCInfo(logEncoder) << "the encoder ended:" << static_cast<int>(outcome.ending) << "status"
                       << outcome.exitCode << outcome.lastErrorLine;
    const QString program = job_.programFolder + QStringLiteral("/ffmpeg");
    QString failure;
    if (outcome.ending == Ending::Killed) {
        finish(SaveOutcome::cancelled());
        return;
    }
    switch (outcome.ending) {
    case Ending::LaunchFailed:
        failure = QFileInfo::exists(program) ? CoreText::tr("the encoder %1 could not be started.")
                                             : CoreText::tr("the encoder %1 was not found.");
        failure = failure.arg(native(program));
        break;
    case Ending::Killed:
        break;
    case Ending::Crashed:
        failure = CoreText::tr("the encoder ended abnormally.");
        break;
    case Ending::Exited:
        if (outcome.exitCode != 0 && !coverConverted_ && formatHoldsCover(job_.format) &&
            QFileInfo(temporary_).size() <= 0) {
            // The muxer refused the output before writing any of it: most likely a cover it
            // cannot take as it is (a GIF in FLAC or M4A). Once more, with the cover as PNG;
            // the encoder must find no file in its way.
            endCount();
            QFile::remove(temporary_);
            startEncoder(true);
            return;
        }
        if (outcome.exitCode != 0) {
            failure = CoreText::tr("the encoder ended with exit status %1.").arg(outcome.exitCode);
        } else if (QFileInfo(temporary_).size() <= 0) {
            failure = CoreText::tr("the encoder wrote no output file.");
        }
        break;
    }
    if (!failure.isEmpty()) {
        if (!outcome.lastErrorLine.isEmpty()) {
            failure += QStringLiteral("\n\n") + outcome.lastErrorLine;
        }
        finish(SaveOutcome::failed(failure));
        return;
    }
    // The encoder's word is not enough (a full disk can end it with status 0 and a cut-off
    // file), and a container's duration is an estimate for some formats (raw AAC) or counts the
    // encoder's delay (MP3 at low rates): the output is decoded and its samples counted before
    // it replaces anything.
    if (counter_) {
        follow_->markWritten();
        return;
    }
    const QString prober = probeProgram(job_.programFolder);
    if (prober.isEmpty()) {
        fail(CoreText::tr("ffprobe, which checks the output, was not "
                          "found."));
        return;
    }
    probe_.start(ProcessCommand{prober,
                                {QStringLiteral("-v"), QStringLiteral("error"),
                                 QStringLiteral("-select_streams"), QStringLiteral("a:0"),
                                 QStringLiteral("-show_entries"),
                                 QStringLiteral("stream=sample_rate:frame=nb_samples"),
                                 QStringLiteral("-of"), QStringLiteral("csv"), temporary_},
                                {}});
}

void ConvertSave::probeOutput(const QByteArray& line) {
    // "frame,<samples>" for each decoded frame (some codecs add their side data after it), then
    // "stream,<rate>".
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (fields.size() < 2) {
        return;
    }
    bool ok = false;
    const qint64 value = fields[1].toLongLong(&ok);
    if (!ok || value < 0) {
        return;
    }
    if (fields[0] == "frame") {
        decodedSamples_ += value;
    } else if (fields[0] == "stream" && value > 0 && value <= 1'000'000) {
        sampleRate_ = static_cast<int>(value);
    }
}

void ConvertSave::startCount() {
    endCount();
    follow_ = std::make_shared<FollowSignal>();
    const int round = ++countRound_;
    counter_.reset(QThread::create([this, round, signal = follow_,
                                    path = QFile::encodeName(temporary_)] {
        const std::optional<DecodedSamples> counted = followMp3Samples(path, *signal);
        QMetaObject::invokeMethod(
            this, [this, round, counted] { countFinished(round, counted); }, Qt::QueuedConnection);
    }));
    counter_->start();
}

void ConvertSave::endCount() {
    if (counter_) {
        follow_->stop();
        counter_->wait();
        counter_.reset();
    }
}

void ConvertSave::countFinished(int round, const std::optional<DecodedSamples>& counted) {
    if (!running_ || !counter_ || round != countRound_) {
        return; // abandoned meanwhile
    }
    const bool cancelled = follow_->stopped();
    endCount();
    if (cancelled) {
        finish(SaveOutcome::cancelled());
        return;
    }
    if (counted) {
        decodedSamples_ = counted->samples;
        sampleRate_ = counted->rate;
    }
    checkLengthAndKeep();
}

void ConvertSave::probeFinished(const RunOutcome& outcome) {
    if (!running_) {
        return; // ended meanwhile
    }
    if (outcome.ending == RunOutcome::Ending::Killed) {
        finish(SaveOutcome::cancelled());
        return;
    }
    if (outcome.ending != RunOutcome::Ending::Exited || outcome.exitCode != 0) {
        sampleRate_ = 0;
    }
    checkLengthAndKeep();
}

void ConvertSave::checkLengthAndKeep() {
    if (sampleRate_ == 0 || decodedSamples_ == 0) {
        fail(CoreText::tr("the encoder's output cannot be read back, so "
                          "it was not kept."));
        return;
    }
    const DecodedExtra extra = decodedExtra(job_.format);
    const double rate = sampleRate_;
    const double writtenMs =
        static_cast<double>(decodedSamples_ - extra.primingSamples) * 1000.0 / rate;
    const double expectedMs = static_cast<double>(keptMs_);
    const double paddingMs = extra.frameSamples * 1000.0 / rate + extra.silenceMs;
    if (writtenMs < expectedMs - lengthToleranceMs ||
        writtenMs > expectedMs + paddingMs + lengthToleranceMs) {
        fail(CoreText::tr("the output holds %1 s where %2 s were due, so it was not kept.")
                 .arg(writtenMs / 1000.0, 0, 'f', 3)
                 .arg(expectedMs / 1000.0, 0, 'f', 3));
        return;
    }
    const QFileInfo old(job_.target);
    if (old.exists()) {
        // The new file takes the place of the old one, with the old one's permissions.
        QFile::setPermissions(temporary_, old.permissions());
    }
    std::error_code renamed;
    std::filesystem::rename(fileSystemPath(temporary_), fileSystemPath(job_.target), renamed);
    if (renamed) {
        fail(QStringLiteral("%1 could not be replaced (%2).")
                 .arg(native(job_.target), QString::fromStdString(renamed.message())));
        return;
    }
    temporary_.clear();
    finish(SaveOutcome());
}

void ConvertSave::fail(const QString& reason) {
    finish(SaveOutcome::failed(reason));
}

void ConvertSave::finish(const SaveOutcome& outcome) {
    // The count stops before its file goes.
    endCount();
    if (!temporary_.isEmpty()) {
        QFile::remove(temporary_);
        temporary_.clear();
    }
    running_ = false;
    emit finished(outcome);
}

} // namespace snipora
