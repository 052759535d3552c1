// The encoder's command line and argument list, built together so they cannot disagree, and
// the traits of each output format they follow.
#include "core/encoder_command.h"
#include "core/core_text.h"

#include "core/removed_sections.h"

#include <algorithm>

namespace snipora {

namespace {
// What one output format is to the encoder and to the check of its output.
struct FormatTraits {
    bool lossless = false;
    QString topBitrate; // the highest bitrate its encoder gives, when below the list's top
    bool holdsCover = false;
    DecodedExtra extra;
};

FormatTraits traitsOf(const QString& format) {
    if (format == QStringLiteral("WAV") || format == QStringLiteral("FLAC")) {
        return {true, QString(), format == QStringLiteral("FLAC"), {}};
    }
    if (format == QStringLiteral("MP3")) {
        // The LAME tag tells decoders the encoder's delay and padding: exact.
        return {false, QStringLiteral("320k"), true, {}};
    }
    if (format == QStringLiteral("M4A")) {
        // The edit list drops the priming; ffmpeg still decodes the last frame whole.
        return {false, QStringLiteral("256k"), true, {0, 1024}};
    }
    if (format == QStringLiteral("AAC")) {
        // ADTS has no field for the encoder's 1024 priming samples.
        return {false, QStringLiteral("256k"), false, {1024, 1024}};
    }
    if (format == QStringLiteral("AC3")) {
        return {false, QString(), false, {0, 1536}};
    }
    // WMA: silence is fed after the selection (see encoderCommand); what of it is decoded
    // depends on where the frames fall, never more than all of it.
    return {false, QString(), false, {0, 0, wmaTailSilenceMs}};
}

// The filter that keeps the selection less its removed sections: each piece trimmed to the
// sample (counted from `seekMs`, where the input starts) and cross-faded into the next. The
// cross-fade takes half its length from each side of the join, out of the section taken out,
// so that the output is exactly as long as the pieces.
QString piecesFilter(const EncoderJob& job, std::int64_t seekMs) {
    const std::int64_t rate = job.sourceSampleRate;
    // Samples at a mark as the frame map counts them: the first sample at or after it.
    const auto sampleAt = [rate](std::int64_t ms) {
        return (std::max<std::int64_t>(ms, 0) * rate + 999) / 1000;
    };
    const std::int64_t origin = seekMs * rate / 1000;
    struct Piece {
        std::int64_t start = 0;
        std::int64_t end = 0;
    };
    std::vector<Piece> pieces;
    std::int64_t from = sampleAt(job.selection.start);
    const std::int64_t to = sampleAt(job.selection.end);
    for (const Selection& section : mergedSections(job.removedSections)) {
        const std::int64_t start = std::clamp(sampleAt(section.start), from, to);
        if (start > from) {
            pieces.push_back({from, start});
        }
        from = std::max(from, std::min(sampleAt(section.end), to));
    }
    if (to > from) {
        pieces.push_back({from, to});
    }
    const std::int64_t crossFade = std::max<std::int64_t>(0, job.crossFadeMs) * rate / 1000;
    // A join between short pieces cross-fades over less: acrossfade needs as many samples on
    // either side as it fades over.
    std::vector<std::int64_t> fades;
    for (std::size_t k = 0; k + 1 < pieces.size(); ++k) {
        const std::int64_t shorter =
            std::min(pieces[k].end - pieces[k].start, pieces[k + 1].end - pieces[k + 1].start);
        fades.push_back(std::min(crossFade, 2 * shorter));
    }
    for (std::size_t k = 0; k < fades.size(); ++k) {
        pieces[k].end += fades[k] / 2;
        pieces[k + 1].start = std::max(origin, pieces[k + 1].start - (fades[k] - fades[k] / 2));
    }
    const auto trim = [origin](const Piece& piece) {
        return QStringLiteral("atrim=start_sample=%1:end_sample=%2,asetpts=PTS-STARTPTS")
            .arg(piece.start - origin)
            .arg(piece.end - origin);
    };
    if (pieces.size() <= 1) {
        return pieces.empty() ? QStringLiteral("atrim=end_sample=0") : trim(pieces.front());
    }
    const auto count = static_cast<qsizetype>(pieces.size());
    QString filter = QStringLiteral("asplit=%1").arg(count);
    for (qsizetype k = 0; k < count; ++k) {
        filter += QStringLiteral("[in%1]").arg(k);
    }
    for (qsizetype k = 0; k < count; ++k) {
        filter += QStringLiteral(";[in%1]%2[piece%1]")
                      .arg(k)
                      .arg(trim(pieces[static_cast<std::size_t>(k)]));
    }
    if (crossFade == 0) {
        filter += QLatin1Char(';');
        for (qsizetype k = 0; k < count; ++k) {
            filter += QStringLiteral("[piece%1]").arg(k);
        }
        return filter + QStringLiteral("concat=n=%1:v=0:a=1").arg(count);
    }
    QString joined = QStringLiteral("[piece0]");
    for (qsizetype k = 1; k < count; ++k) {
        filter += QStringLiteral(";%1[piece%2]acrossfade=ns=%3:c1=tri:c2=tri")
                      .arg(joined)
                      .arg(k)
                      .arg(fades[static_cast<std::size_t>(k - 1)]);
        joined = QStringLiteral("[joined%1]").arg(k);
        if (k + 1 < count) {
            filter += joined;
        }
    }
    return filter;
}

// Quoted for the line people read: the paths, which may hold blanks.
QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

const QStringList& outputFormats() {
    static const QStringList formats{
        QStringLiteral("MP3"),  QStringLiteral("WAV"), QStringLiteral("AAC"), QStringLiteral("WMA"),
        QStringLiteral("FLAC"), QStringLiteral("M4A"), QStringLiteral("AC3")};
    return formats;
}

const QStringList& outputBitrates() {
    static const QStringList bitrates{QStringLiteral("512k"), QStringLiteral("256k"),
                                      QStringLiteral("128k"), QStringLiteral("64k"),
                                      QStringLiteral("32k")};
    return bitrates;
}

bool formatTakesBitrate(const QString& format) {
    return !traitsOf(format).lossless;
}

QStringList bitratesFor(const QString& format) {
    const FormatTraits traits = traitsOf(format);
    if (traits.lossless) {
        return {};
    }
    QStringList offered;
    for (const QString& bitrate : outputBitrates()) {
        // The list's texts are kilobits with a "k": their numbers compare.
        if (traits.topBitrate.isEmpty() ||
            bitrate.chopped(1).toInt() <= traits.topBitrate.chopped(1).toInt()) {
            offered << bitrate;
        }
    }
    return offered;
}

std::optional<QString> bitrateRefusal(const QString& format, const QString& bitrate) {
    const FormatTraits traits = traitsOf(format);
    if (traits.lossless) {
        return std::nullopt;
    }
    const QStringList offered = bitratesFor(format);
    if (bitrate.isEmpty()) {
        return CoreText::tr("Please select output bitrate. %1 is written at %2.")
            .arg(format, offered.join(QStringLiteral(", ")));
    }
    if (offered.contains(bitrate)) {
        return std::nullopt;
    }
    QString refusal = CoreText::tr("%1 cannot be written at %2").arg(format, bitrate);
    if (outputBitrates().contains(bitrate) && !traits.topBitrate.isEmpty()) {
        refusal += CoreText::tr(": its encoder gives at most %1").arg(traits.topBitrate);
    }
    return refusal + CoreText::tr(". Please select %1.").arg(offered.join(QStringLiteral(", ")));
}

bool formatHoldsCover(const QString& format) {
    return traitsOf(format).holdsCover;
}

DecodedExtra decodedExtra(const QString& format) {
    return traitsOf(format).extra;
}

QString secondsText(std::int64_t ms) {
    QString text = QString::number(ms / 1000);
    if (const std::int64_t fraction = ms % 1000; fraction != 0) {
        QString decimals = QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0'))) {
            decimals.chop(1);
        }
        text += QLatin1Char('.') + decimals;
    }
    return text;
}

ProcessCommand encoderCommand(const EncoderJob& job) {
    const std::int64_t start = std::max<std::int64_t>(job.selection.start, 0);
    const std::int64_t inputSeek = std::max<std::int64_t>(start - decodeLeadInMs, 0);
    const bool wma = job.format == QStringLiteral("WMA");

    ProcessCommand command;
    command.program = job.programFolder + QStringLiteral("/ffmpeg");
    command.commandLine = quoted(command.program);
    const auto add = [&command](const QStringList& words) {
        command.arguments << words;
        command.commandLine += QLatin1Char(' ') + words.join(QLatin1Char(' '));
    };
    const auto addPath = [&command](const QString& path) {
        command.arguments << path;
        command.commandLine += QLatin1Char(' ') + quoted(path);
    };

    // No seek at all from the file's start: a seek to 0 makes ffmpeg decode the first frames of
    // an MPEG-2 source as silence.
    if (inputSeek > 0) {
        add({QStringLiteral("-ss"), secondsText(inputSeek)});
    }
    add({QStringLiteral("-i")});
    addPath(job.inputPath);
    if (!formatHoldsCover(job.format)) {
        add({QStringLiteral("-vn")});
    } else if (!job.convertCover) {
        // The cover is copied as it is and marked as a picture, not a video to play; a source
        // without one is fine ("?").
        add({QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-map"),
             QStringLiteral("0:v?"), QStringLiteral("-c:v"), QStringLiteral("copy"),
             QStringLiteral("-disposition:v"), QStringLiteral("attached_pic")});
    } else {
        // A converted picture would be dropped by the seek (it lies before the seek point), so
        // it comes from the source opened a second time, unsought.
        add({QStringLiteral("-i")});
        addPath(job.inputPath);
        add({QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-map"),
             QStringLiteral("1:v?"), QStringLiteral("-c:v"), QStringLiteral("png"),
             QStringLiteral("-disposition:v"), QStringLiteral("attached_pic")});
    }

    const bool removing = !job.removedSections.empty() && job.sourceSampleRate > 0;
    QString filter =
        removing ? piecesFilter(job, inputSeek)
                 : QStringLiteral("atrim=start=%1:duration=%2,asetpts=PTS-STARTPTS")
                       .arg(secondsText(start - inputSeek), secondsText(job.selection.lengthMs()));
    // Fades after the trim, so that they are counted from the selection's own first sample;
    // both with the same straight curve.
    std::int64_t fadeIn = std::max<std::int64_t>(0, job.fadeInMs);
    std::int64_t fadeOut = std::max<std::int64_t>(0, job.fadeOutMs);
    const std::int64_t lengthMs = keptLengthMs(job.selection, job.removedSections);
    if (fadeIn + fadeOut > lengthMs) {
        const std::int64_t asked = fadeIn + fadeOut;
        fadeIn = fadeIn * lengthMs / asked;
        fadeOut = lengthMs - fadeIn;
    }
    if (fadeIn > 0) {
        filter += QStringLiteral(",afade=t=in:st=0:d=%1").arg(secondsText(fadeIn));
    }
    if (fadeOut > 0) {
        filter += QStringLiteral(",afade=t=out:st=%1:d=%2")
                      .arg(secondsText(lengthMs - fadeOut), secondsText(fadeOut));
    }
    if (wma) {
        // ffmpeg's WMA encoder writes no frame for the last one its decoder holds back, so the
        // selection's end would be lost: a frame of silence goes after it. The frame's length
        // depends on the rate, which the command does not know, hence a duration.
        filter += QStringLiteral(",apad=pad_dur=%1").arg(secondsText(wmaTailSilenceMs));
    }
    add({QStringLiteral("-af"), filter});

    if (formatTakesBitrate(job.format)) {
        add({QStringLiteral("-ab"), job.bitrate});
        if (job.bitrate == QStringLiteral("32k") || job.bitrate == QStringLiteral("64k")) {
            // AC3 has no 22050 Hz rate; 32000 Hz is the lowest it encodes.
            add({QStringLiteral("-ar"), job.format == QStringLiteral("AC3")
                                            ? QStringLiteral("32000")
                                            : QStringLiteral("22050")});
        }
    }
    if (wma) {
        // The container alone would pick another codec.
        add({QStringLiteral("-acodec"), QStringLiteral("wmav2")});
    }
    if (!job.tags.isEmpty()) {
        add({QStringLiteral("-map_chapters"), QStringLiteral("-1")});
        for (const auto& [key, value] : job.tags) {
            add({QStringLiteral("-metadata")});
            addPath(key + QLatin1Char('=') + value);
        }
    }
    add({QStringLiteral("-progress"), QStringLiteral("pipe:1")});
    addPath(job.outputPath);
    return command;
}

} // namespace snipora
