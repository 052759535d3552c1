// The encoder's command for a Convert Save: one builder for the line people read and the
// argument list the encoder is started with, and what each output format can take.
#pragma once

#include "core/process_runner.h"
#include "core/selection.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace snipora {

// What one conversion hands the encoder.
struct EncoderJob {
    QString programFolder; // without a trailing separator
    Selection selection;   // milliseconds
    QString inputPath;
    QString format;  // as the format list shows it, e.g. "FLAC"
    QString bitrate; // as the bitrate list shows it, e.g. "128k"; ignored by lossless formats
    QString outputPath;
    // The cover is converted to PNG rather than copied: for a picture (GIF, BMP) the format's
    // muxer refuses as it comes.
    bool convertCover = false;
    // Fades at the selection's edges in milliseconds, 0 for none; longer than the selection
    // together, they are shortened in proportion to fit.
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;
    // Sections of the selection taken out (milliseconds), the pieces around each join
    // cross-faded over crossFadeMs; trimmed to the sample, which needs the source's rate.
    std::vector<Selection> removedSections = {};
    int sourceSampleRate = 0;
    std::int64_t crossFadeMs = 0;
    // Tags set on the output over the source's (a piece's title and track), an empty value
    // removing one; with any, the source's chapters are left out, as they describe the whole.
    QList<std::pair<QString, QString>> tags = {};
};

// The formats and bitrates a Convert Save offers, in the order the lists show them. A format's
// extension is its name in lower case.
const QStringList& outputFormats();
const QStringList& outputBitrates();

// Whether the format's encoder takes a bitrate: WAV and FLAC keep every sample and have none.
bool formatTakesBitrate(const QString& format);

// The bitrates of outputBitrates() that the format's encoder really gives, in the list's order:
// none for a lossless format; MP3 tops at 320k, and ffmpeg's AAC encoder asked for 512k gives
// about what it gives at 256k, so 512k is not offered for MP3, AAC and M4A.
QStringList bitratesFor(const QString& format);

// Why the format cannot be written at the bitrate, as the message to show, or nothing when it
// can. An empty bitrate is right for a lossless format and refused for a lossy one.
std::optional<QString> bitrateRefusal(const QString& format, const QString& bitrate);

// Whether the format holds the source's cover picture (as an attached picture).
bool formatHoldsCover(const QString& format);

// What decoding an output gives beyond the selection's samples, at the output's rate:
// primingSamples the encoder puts first that the format cannot tell a decoder to drop (raw AAC),
// frameSamples, the codec frame whose last one is filled up with silence where the format
// cannot say where the sound ends (or where ffmpeg's decoder does not honour it), and
// silenceMs, silence the command itself adds after the selection.
struct DecodedExtra {
    int primingSamples = 0;
    int frameSamples = 0;
    int silenceMs = 0;
};
DecodedExtra decodedExtra(const QString& format);

// The silence fed to the WMA encoder after the selection: at least one of its frames (512
// samples up to 16 kHz, 1024 up to 22.05 kHz, 2048 above) at every rate.
inline constexpr int wmaTailSilenceMs = 64;

// How far before the start mark the encoder's input is sought: the frames the first heard
// frame needs (its bit reservoir, the overlap of its first granule) are decoded, and the rest
// of the way is decoded sample by sample, so the output starts clean.
inline constexpr std::int64_t decodeLeadInMs = 500;

// Seconds with up to three decimals, as the command carries them: 11.845, 0.5, 3.
QString secondsText(std::int64_t ms);

// The encoder `ffmpeg` in the program's folder, cutting the marks to the millisecond:
//   "<folder>/ffmpeg" [-ss <lead-in s>] -i "<input>" <streams> -af atrim=start=<rest s>:
//   duration=<length s>,asetpts=PTS-STARTPTS[,apad] [-ab <bitrate>] [<rate, codec>]
//   -progress pipe:1 "<output>"
// With sections taken out, the source splits into the pieces kept (atrim by sample), each
// joined to the next by acrossfade centred on the join, so the output is as long as the pieces.
// The trim is a filter rather than an output seek, which would drop the cover picture (it comes
// before the seek point). The arguments carry each path whole, whatever characters it holds; for
// paths without double quotes they are what splitting the line by the usual quoting rules gives.
ProcessCommand encoderCommand(const EncoderJob& job);

} // namespace snipora
