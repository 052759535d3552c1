// Real MP3 files made by ffmpeg at test time, and helpers to decode and compare them.
#pragma once

#include "platform/mci/audio_output.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

namespace snipora::test {

// The files every engine test uses, made once per test class in a temporary folder.
// Each holds a chirp, so that any stretch of samples belongs to exactly one place in time.
struct Mp3Fixtures {
    QTemporaryDir dir;
    QString cbr;        // 3 s, stereo 44,100 Hz, 128 kbps, with a Xing (Info) header
    QString vbrXing;    // 3 s, VBR, with a Xing header
    QString vbrNoXing;  // 3 s, VBR, no Xing header: only a full scan finds its length
    QString cover;      // 3 s, 128 kbps, a 200 KB picture in the ID3 tag
    QString shortOne;   // 0.4 s
    QString mono;       // 2 s, mono 22,050 Hz
    QString withBlanks; // the CBR file under a name with blanks

    // The files of this test run, made on first use; empty paths when ffmpeg failed.
    static const Mp3Fixtures& shared();
    // Runs ffmpeg; false (with a warning) when any file could not be made.
    bool make();
    QString path(const QString& name) const { return dir.filePath(name); }
};

// Runs a program to its end; its standard output, or an empty array when it failed.
QByteArray runProgram(const QString& program, const QStringList& arguments);

// The whole file decoded by ffmpeg (a decoder independent of the service's) to 16-bit PCM.
std::vector<std::int16_t> decodeWithFfmpeg(const QString& file, int channels);

// The number of frames the mpg123 program decodes from the file (gapless, as it plays it): a
// file cut short keeps its encoder delay trimmed and loses none of its end.
std::int64_t decodedFrameCount(const QString& file);

// The offset (in frames, within ±maxShift) at which `part` best matches `whole` starting at
// `expectedStart`, and the mean absolute difference there.
struct Match {
    std::int64_t shift = 0;
    double meanDifference = 0;
};
Match bestMatch(const std::vector<std::int16_t>& whole, const std::vector<std::int16_t>& part,
                int channels, std::int64_t expectedStart, std::int64_t maxShift);

// The output the engine tests play through: QAudioSink when the run provides a sound server
// (PULSE_SERVER set, or SNIPORA_AUDIO_OUTPUT=sink), otherwise the null output, so that a run
// without a server never depends on the machine's sound set-up.
mci::AudioOutputFactory testOutputs();
bool testsUseSink();

} // namespace snipora::test
