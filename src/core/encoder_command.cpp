// The encoder's command line and argument list, built together so they cannot disagree.
#include "core/encoder_command.h"

#include <algorithm>

namespace snipora {

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

QString encoderExtraOptions(const QString& format, const QString& bitrate) {
    QString extra;
    if (bitrate == QStringLiteral("32k") || bitrate == QStringLiteral("64k")) {
        // AC3 has no 22050 Hz rate; 32000 Hz is the lowest it encodes.
        extra = format == QStringLiteral("AC3") ? QStringLiteral(" -ar 32000 ")
                                                : QStringLiteral(" -ar 22050 ");
    }
    if (format == QStringLiteral("WMA")) {
        extra += QStringLiteral(" -acodec wmav2");
    }
    return extra;
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
    const QString seekText = secondsText(inputSeek);
    const QString restText = secondsText(start - inputSeek);
    const QString lengthText = secondsText(job.selection.lengthMs());

    ProcessCommand command;
    command.program = job.programFolder + QStringLiteral("/ffmpeg");
    command.arguments << QStringLiteral("-ss") << seekText << QStringLiteral("-i") << job.inputPath
                      << QStringLiteral("-ss") << restText << QStringLiteral("-t") << lengthText
                      << QStringLiteral("-ab") << job.bitrate;
    command.arguments << job.extraOptions.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    command.arguments << QStringLiteral("-progress") << QStringLiteral("pipe:1") << job.outputPath;

    command.commandLine = QLatin1Char('"') + command.program + QStringLiteral("\" -ss  ") +
                          seekText + QStringLiteral(" -i \"") + job.inputPath +
                          QStringLiteral("\" -ss  ") + restText + QStringLiteral(" -t  ") +
                          lengthText + QStringLiteral(" -ab ") + job.bitrate + job.extraOptions +
                          QStringLiteral(" -progress pipe:1 \"") + job.outputPath +
                          QLatin1Char('"');
    return command;
}

} // namespace snipora
