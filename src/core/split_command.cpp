// Splitting from the command line: the options, and the run through the same code as the window.
#include "core/split_command.h"
#include "core/core_text.h"

#include "core/cue_sheet.h"
#include "core/mp3_frame_map.h"
#include "core/pause_finder.h"
#include "core/pieces.h"
#include "core/split_save.h"
#include "core/time_text.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {

QByteArray absoluteName(const QByteArray& name, const QByteArray& workingFolder) {
    return name.startsWith('/') ? name : workingFolder + '/' + name;
}

// Names arrive as Latin-1 text holding the system's bytes (see command_line.cpp).
QString nameText(const QByteArray& bytes) {
    return QFile::decodeName(bytes);
}

const QString splitSources = QStringLiteral("--at, --cue, --pauses or --every");

// Within ±5 s of each point of --every, the quietest moment.
constexpr std::int64_t quietRadiusMs = 5000;

} // namespace

void addSplitOptions(QCommandLineParser& parser) {
    parser.addOptions({
        QCommandLineOption(QStringLiteral("at"), QString(), QStringLiteral("TIMES")),
        QCommandLineOption(QStringLiteral("cue"), QString(), QStringLiteral("FILE")),
        QCommandLineOption(QStringLiteral("pauses")),
        QCommandLineOption(QStringLiteral("threshold"), QString(), QStringLiteral("DB")),
        QCommandLineOption(QStringLiteral("min-pause"), QString(), QStringLiteral("S")),
        QCommandLineOption(QStringLiteral("drop-pauses")),
        QCommandLineOption(QStringLiteral("every"), QString(), QStringLiteral("DURATION")),
        QCommandLineOption(QStringLiteral("near-quiet")),
        QCommandLineOption(QStringLiteral("name"), QString(), QStringLiteral("PATTERN")),
        QCommandLineOption(QStringLiteral("overwrite")),
    });
}

bool splitOptionsUsed(const QCommandLineParser& parser) {
    for (const char* name : {"at", "cue", "pauses", "threshold", "min-pause", "drop-pauses",
                             "every", "near-quiet", "name", "overwrite"}) {
        if (parser.isSet(QString::fromLatin1(name))) {
            return true;
        }
    }
    return false;
}

QString splitUsage() {
    return QStringLiteral(
        "  --split INPUT -o FOLDER (--at TIMES | --cue FILE | --pauses | --every DURATION)\n"
        "                  save INPUT as many pieces into FOLDER, each by Direct Save and\n"
        "                  tagged with its title and track number; the pieces played one\n"
        "                  after another are INPUT, sample for sample (outside the fades,\n"
        "                  with --fade-in or --fade-out); with --format, each piece is\n"
        "                  converted instead\n"
        "  --at TIMES      split at these times, comma-separated (1:30,3:02.5)\n"
        "  --cue FILE      split at the tracks of a cue sheet, titled from it\n"
        "  --pauses        split in the middle of every pause: sound quieter than\n"
        "                  --threshold DB (default -40 dBFS) for at least --min-pause S\n"
        "                  seconds (default 0.8); --drop-pauses leaves the pauses out\n"
        "  --every DURATION\n"
        "                  split every DURATION (600 or 10:00); --near-quiet moves each\n"
        "                  point to the quietest moment within 5 seconds of it\n"
        "  --name PATTERN  the pieces' file names: %n the number, %t the title, %s the\n"
        "                  input's name (default \"%n - %t\"); .mp3 is added\n"
        "  --overwrite     replace files of the same names; without it, an existing file\n"
        "                  stops the split before anything is written\n");
}

SplitRequest readSplitRequest(const QCommandLineParser& parser, const QByteArray& workingFolder,
                              QString* error) {
    SplitRequest request;
    const auto value = [&parser](const char* name) {
        return parser.value(QString::fromLatin1(name));
    };
    const auto isSet = [&parser](const char* name) {
        return parser.isSet(QString::fromLatin1(name));
    };
    const QStringList positional = parser.positionalArguments();
    const QByteArray folder = value("output").toLatin1();
    if (positional.size() != 1 || folder.isEmpty()) {
        *error = CoreText::tr("usage: snipora --split INPUT -o FOLDER (%1)").arg(splitSources);
        return request;
    }
    request.input = absoluteName(positional[0].toLatin1(), workingFolder);
    request.folder = absoluteName(folder, workingFolder);
    request.pattern = isSet("name") ? value("name") : QString::fromLatin1(defaultPiecePattern);
    request.overwrite = isSet("overwrite");

    const int sources =
        int(isSet("at")) + int(isSet("cue")) + int(isSet("pauses")) + int(isSet("every"));
    if (sources != 1) {
        *error = CoreText::tr("--split takes one of %1").arg(splitSources);
        return request;
    }
    if ((isSet("threshold") || isSet("min-pause") || isSet("drop-pauses")) && !isSet("pauses")) {
        *error = CoreText::tr("--threshold, --min-pause and --drop-pauses go with --pauses");
        return request;
    }
    if (isSet("near-quiet") && !isSet("every")) {
        *error = CoreText::tr("--near-quiet goes with --every");
        return request;
    }
    if (isSet("at")) {
        request.source = SplitRequest::Source::Times;
        for (const QString& word : value("at").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto time = parseTime(word.trimmed());
            if (!time) {
                *error = CoreText::tr("%1 is not a time (seconds, or h:mm:ss.mmm)").arg(word);
                return request;
            }
            request.timesMs.push_back(*time);
        }
    } else if (isSet("cue")) {
        request.source = SplitRequest::Source::CueSheet;
        request.cueSheet = absoluteName(value("cue").toLatin1(), workingFolder);
    } else if (isSet("pauses")) {
        request.source = SplitRequest::Source::Pauses;
        request.dropPauses = isSet("drop-pauses");
        bool ok = true;
        if (isSet("threshold")) {
            request.thresholdDb = value("threshold").toDouble(&ok);
            if (!ok || !std::isfinite(request.thresholdDb) || request.thresholdDb >= 0) {
                *error = CoreText::tr("--threshold takes a level below 0 dBFS, such as -40");
                return request;
            }
        }
        if (isSet("min-pause")) {
            const double seconds = value("min-pause").toDouble(&ok);
            if (!ok || !(seconds > 0 && seconds <= 3600)) {
                *error = CoreText::tr("--min-pause takes seconds, such as 0.8");
                return request;
            }
            request.minimumPauseMs = std::llround(seconds * 1000);
        }
    } else {
        request.source = SplitRequest::Source::Every;
        request.nearQuietest = isSet("near-quiet");
        const auto every = parseTime(value("every"));
        if (!every || *every < 1000) {
            *error = CoreText::tr("--every takes a duration of a second or more (600 or 10:00)");
            return request;
        }
        request.everyMs = *every;
    }
    return request;
}

PlannedSplit::~PlannedSplit() {
    if (sourceHandle >= 0) {
        ::close(sourceHandle);
    }
}

std::unique_ptr<PlannedSplit> planSplit(const SplitRequest& request, const std::atomic<bool>& stop,
                                        std::FILE* errors) {
    const auto fail = [errors](const QString& message) {
        std::fprintf(errors, "snipora: %s\n", message.toLocal8Bit().constData());
        return nullptr;
    };
    const QString inputName = nameText(request.input);
    auto planned =
        std::make_unique<PlannedSplit>(::open(request.input.constData(), O_RDONLY | O_CLOEXEC));
    const PlannedSplit& source = *planned;
    if (source.sourceHandle < 0) {
        return fail(CoreText::tr("cannot open %1").arg(inputName));
    }
    QString error;
    const std::optional<Mp3FrameMap> map = Mp3FrameMap::scan(source.sourceHandle, &error);
    if (!map) {
        return fail(QStringLiteral("%1: %2").arg(inputName, error));
    }
    // Rounded up: the last piece then ends at the source's last sample, which the frame cut
    // clamps to, and not up to a millisecond before it.
    const std::int64_t lengthMs =
        (map->lengthSamples() * 1000 + map->sampleRate() - 1) / map->sampleRate();
    const std::int64_t frameMs =
        (std::int64_t(map->samplesPerFrame()) * 1000 + map->sampleRate() - 1) / map->sampleRate();
    PieceList pieces(lengthMs, frameMs);

    const auto measure = [&]() -> std::optional<LoudnessProfile> {
        SaveOutcome outcome;
        auto profile = measureLoudness(
            source.sourceHandle, [&stop](std::int64_t, std::int64_t) { return !stop.load(); },
            &outcome);
        error = outcome.isCancelled() ? CoreText::tr("the search for pauses was stopped")
                                      : outcome.reason();
        return profile;
    };
    switch (request.source) {
    case SplitRequest::Source::Times:
        for (const std::int64_t time : request.timesMs) {
            if (time <= 0 || time >= lengthMs) {
                return fail(CoreText::tr("the split point %1 does not lie within the file "
                                         "(%2 long); nothing was written")
                                .arg(preciseTime(time), preciseTime(lengthMs)));
            }
        }
        pieces.setSplitPoints(request.timesMs);
        break;
    case SplitRequest::Source::CueSheet: {
        const auto sheet = readCueSheet(nameText(request.cueSheet), lengthMs, &error);
        if (!sheet) {
            return fail(error);
        }
        const QString written = QFileInfo(sheet->file).fileName();
        if (!written.isEmpty() && written != QFileInfo(inputName).fileName()) {
            std::fprintf(errors,
                         "snipora: the cue sheet was written for %s; its times are used on %s\n",
                         written.toLocal8Bit().constData(),
                         QFileInfo(inputName).fileName().toLocal8Bit().constData());
        }
        applyCueSheet(*sheet, pieces);
        break;
    }
    case SplitRequest::Source::Pauses: {
        const auto profile = measure();
        if (!profile) {
            return fail(QStringLiteral("%1: %2").arg(inputName, error));
        }
        applyPauses(findPauses(*profile, request.thresholdDb, request.minimumPauseMs),
                    request.dropPauses, pieces);
        break;
    }
    case SplitRequest::Source::Every: {
        std::optional<LoudnessProfile> profile;
        if (request.nearQuietest) {
            profile = measure();
            if (!profile) {
                return fail(QStringLiteral("%1: %2").arg(inputName, error));
            }
        }
        pieces.setSplitPoints(
            everyInterval(lengthMs, request.everyMs, profile ? &*profile : nullptr, quietRadiusMs));
        break;
    }
    }

    if (pieces.splitPoints().empty()) {
        return fail(request.source == SplitRequest::Source::Pauses
                        ? CoreText::tr("no pause of %1 s or more below %2 dBFS lies between "
                                       "sounds of %3; nothing was written")
                              .arg(double(request.minimumPauseMs) / 1000)
                              .arg(request.thresholdDb)
                              .arg(inputName)
                        : CoreText::tr("no split point lies within %1 (%2 long); nothing was "
                                       "written")
                              .arg(inputName, preciseTime(lengthMs)));
    }

    planned->sourceName = QFileInfo(inputName).completeBaseName();
    planned->pieces = pieces.pieces();
    return planned;
}

int runSplit(const SplitRequest& request, const std::atomic<bool>& stop, std::FILE* out,
             std::FILE* errors) {
    const auto planned = planSplit(request, stop, errors);
    if (!planned) {
        return 1;
    }
    SplitSaveJob job;
    job.sourceHandle = planned->sourceHandle;
    job.sourceName = planned->sourceName;
    job.folder = nameText(request.folder);
    job.pattern = request.pattern;
    job.overwrite = request.overwrite;
    job.pieces = planned->pieces;
    job.fadeInMs = request.fadeInMs;
    job.fadeOutMs = request.fadeOutMs;
    const SplitSaveOutcome outcome =
        runSplitSave(job, [&stop](std::int64_t, std::int64_t) { return !stop.load(); });
    for (const QString& notice : outcome.notices) {
        std::fprintf(errors, "snipora: %s\n", notice.toLocal8Bit().constData());
    }
    for (const QString& path : outcome.written) {
        std::fprintf(out, "%s\n", QFile::encodeName(path).constData());
    }
    std::fflush(out);
    if (outcome.failure) {
        std::fprintf(errors, "snipora: %s\n", outcome.failure->toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace snipora
