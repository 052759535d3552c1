// Making, decoding and comparing the MP3 files of the engine tests.
#include "mp3_fixtures.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <memory>

namespace snipora::test {

QByteArray runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(' ')
                             << "failed:" << process.readAllStandardError().right(2000);
        return {};
    }
    QByteArray output = process.readAllStandardOutput();
    return output.isEmpty() ? QByteArray(" ") : output;
}

namespace {
const QString chirp = "aevalsrc=exprs=0.5*sin(2*PI*(220*t+150*t*t))|0.4*sin(2*PI*(330*t+90*t*t))"
                      ":s=44100:d=";

bool ffmpeg(const QStringList& arguments) {
    return !runProgram("ffmpeg",
                       QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments)
                .isEmpty();
}

bool encode(const QString& source, const QStringList& codec, const QString& out) {
    return ffmpeg(QStringList{"-f", "lavfi", "-i", source} + codec + QStringList{out});
}
} // namespace

const Mp3Fixtures& Mp3Fixtures::shared() {
    static const std::unique_ptr<Mp3Fixtures> files = [] {
        auto made = std::make_unique<Mp3Fixtures>();
        if (!made->make()) {
            made->cbr.clear();
        }
        return made;
    }();
    return *files;
}

bool Mp3Fixtures::make() {
    if (!dir.isValid()) {
        return false;
    }
    cbr = path("cbr.mp3");
    vbrXing = path("vbr-xing.mp3");
    vbrNoXing = path("vbr-no-xing.mp3");
    cover = path("cover.mp3");
    shortOne = path("short.mp3");
    mono = path("mono.mp3");
    withBlanks = path("a name with blanks.mp3");
    const QStringList cbrCodec{"-c:a", "libmp3lame", "-b:a", "128k"};
    const QStringList vbrCodec{"-c:a", "libmp3lame", "-q:a", "4"};
    bool ok = encode(chirp + "3", cbrCodec, cbr) && encode(chirp + "3", vbrCodec, vbrXing) &&
              encode(chirp + "3", vbrCodec + QStringList{"-write_xing", "0"}, vbrNoXing) &&
              encode(chirp + "0.4", cbrCodec, shortOne) &&
              encode(chirp + "2", cbrCodec + QStringList{"-ac", "1", "-ar", "22050"}, mono) &&
              QFile::copy(cbr, withBlanks);
    // 200 KB of noise does not compress: the picture in the tag is as large as its pixels.
    QByteArray pixels(260 * 260 * 3, '\0');
    QRandomGenerator noise(7);
    for (char& byte : pixels) {
        byte = static_cast<char>(noise.bounded(256));
    }
    QFile raw(path("cover.rgb"));
    ok = ok && raw.open(QIODevice::WriteOnly) && raw.write(pixels) == pixels.size();
    raw.close();
    ok = ok &&
         ffmpeg({"-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "260x260", "-i", raw.fileName(),
                 "-frames:v", "1", path("cover.png")}) &&
         ffmpeg({"-i", cbr, "-i", path("cover.png"), "-map", "0", "-map", "1", "-c:a", "copy",
                 "-c:v", "copy", "-id3v2_version", "3", "-metadata:s:v", "comment=Cover (front)",
                 cover});
    return ok;
}

std::vector<std::int16_t> decodeWithFfmpeg(const QString& file, int channels) {
    const QByteArray pcm =
        runProgram("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", file, "-f", "s16le",
                              "-ac", QString::number(channels), "-"});
    std::vector<std::int16_t> samples(static_cast<std::size_t>(pcm.size()) / 2);
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}

std::int64_t decodedFrameCount(const QString& file) {
    const QByteArray pcm = runProgram("mpg123", {"-q", "-s", "--stereo", file});
    return pcm.size() / 4;
}

Match bestMatch(const std::vector<std::int16_t>& whole, const std::vector<std::int16_t>& part,
                int channels, std::int64_t expectedStart, std::int64_t maxShift) {
    Match best{0, 1e9};
    const auto partFrames = static_cast<std::int64_t>(part.size()) / channels;
    const auto wholeFrames = static_cast<std::int64_t>(whole.size()) / channels;
    for (std::int64_t shift = -maxShift; shift <= maxShift; ++shift) {
        const std::int64_t start = expectedStart + shift;
        if (start < 0 || start + partFrames > wholeFrames) {
            continue;
        }
        double sum = 0;
        for (std::int64_t i = 0; i < partFrames * channels; ++i) {
            sum += std::abs(
                static_cast<double>(whole[static_cast<std::size_t>(start * channels + i)]) -
                part[static_cast<std::size_t>(i)]);
        }
        const double mean =
            sum / static_cast<double>(std::max<std::int64_t>(partFrames * channels, 1));
        if (mean < best.meanDifference) {
            best = {shift, mean};
        }
    }
    return best;
}

bool testsUseSink() {
    return !qEnvironmentVariableIsEmpty("PULSE_SERVER") ||
           mci::outputChoiceFromEnvironment() == mci::OutputChoice::Sink;
}

mci::AudioOutputFactory testOutputs() {
    return mci::makeOutputFactory(testsUseSink() ? mci::OutputChoice::Sink
                                                 : mci::OutputChoice::Null);
}

} // namespace snipora::test
