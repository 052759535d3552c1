// The encoder's command for a Convert Save: one builder for the line people read and the
// argument list the encoder is started with.
#pragma once

#include "core/process_runner.h"
#include "core/selection.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace snipora {

// What one conversion hands the encoder.
struct EncoderJob {
    QString programFolder; // without a trailing separator
    Selection selection;   // milliseconds
    QString inputPath;
    QString bitrate;      // as the bitrate list shows it, e.g. "128k"
    QString extraOptions; // from encoderExtraOptions
    QString outputPath;
};

// The formats and bitrates a Convert Save offers, in the order the lists show them. A format's
// extension is its name in lower case.
const QStringList& outputFormats();
const QStringList& outputBitrates();

// How far before the start mark the encoder's input is sought: the frames the first heard
// frame needs (its bit reservoir, the overlap of its first granule) are decoded, and the rest
// of the way is decoded sample by sample, so the output starts clean.
inline constexpr std::int64_t decodeLeadInMs = 500;

// The options a format and bitrate add after the bitrate: a lower sample rate for the two
// lowest bitrates, and the codec for WMA (its container alone would pick another).
QString encoderExtraOptions(const QString& format, const QString& bitrate);

// Seconds with up to three decimals, as the command carries them: 11.845, 0.5, 3.
QString secondsText(std::int64_t ms);

// The encoder `ffmpeg` in the program's folder, cutting the marks to the millisecond:
//   "<folder>/ffmpeg" -ss  <lead-in s> -i "<input>" -ss  <rest s> -t  <length s> -ab <bitrate>
//   <extras> -progress pipe:1 "<output>"
// The arguments carry each path whole, whatever characters it holds; for paths without double
// quotes they are what splitting the line by the usual quoting rules gives.
ProcessCommand encoderCommand(const EncoderJob& job);

} // namespace snipora
