// The encoder's command for a Convert Save: one builder for the line people read and the
// argument list the encoder is started with.
#pragma once

#include "export/sw.h"

#include <QString>

#include <cstdint>

namespace snipora {

// What one conversion hands the encoder.
struct EncoderJob {
    QString programFolder; // without a trailing separator
    std::int32_t markStart = 0;
    std::int32_t markEnd = 0;
    QString inputPath;
    QString bitrate;      // as the bitrate list shows it, e.g. "128k"
    QString extraOptions; // from encoderExtraOptions
    QString outputPath;
};

// The options a format and bitrate add after the bitrate: a lower sample rate for the two
// lowest bitrates, and the codec for WMA (its container alone would pick another).
QString encoderExtraOptions(const QString& format, const QString& bitrate);

// The encoder `ffmpeg` in the program's folder, cutting the whole seconds of the marks:
//   "<folder>/ffmpeg" -ss  <start s> -t  <length s> -i "<input>" -ab <bitrate><extras> "<output>"
// The arguments carry each path whole, whatever characters it holds; for paths without double
// quotes they are what splitting the line by the usual quoting rules gives.
ProcessCommand encoderCommand(const EncoderJob& job);

} // namespace snipora
