// The encoder's command line and argument list, built together so they cannot disagree.
#include "export/encoder_command.h"

namespace snipora {

namespace {
// Whole numbers as the command line writes them: a blank where a minus sign would stand.
QString signedNumber(std::int32_t value) {
    return value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value);
}
} // namespace

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

ProcessCommand encoderCommand(const EncoderJob& job) {
    // Seconds are truncated each on its own, so the length is the difference of two whole
    // seconds (12.9 s to 14.1 s gives 2), matching what the labels show.
    const std::int32_t startSecond = job.markStart / 1000;
    const std::int32_t length = job.markEnd / 1000 - job.markStart / 1000;

    ProcessCommand command;
    command.program = job.programFolder + QStringLiteral("/ffmpeg");
    command.arguments << QStringLiteral("-ss") << QString::number(startSecond)
                      << QStringLiteral("-t") << QString::number(length) << QStringLiteral("-i")
                      << job.inputPath << QStringLiteral("-ab") << job.bitrate;
    command.arguments << job.extraOptions.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    command.arguments << job.outputPath;

    command.commandLine = QLatin1Char('"') + command.program + QStringLiteral("\" -ss ") +
                          signedNumber(startSecond) + QStringLiteral(" -t ") +
                          signedNumber(length) + QStringLiteral(" -i \"") + job.inputPath +
                          QStringLiteral("\" -ab ") + job.bitrate + job.extraOptions +
                          QStringLiteral(" \"") + job.outputPath + QLatin1Char('"');
    return command;
}

} // namespace snipora
