// Convert Save end to end: the real encoder and launcher, every format, samples compared.
#include "core/convert_save.h"
#include "platform/qt_host.h"
#include "support/test_main.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <vector>

using namespace snipora;

namespace {
QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(120000);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

// The file decoded by ffmpeg to 16-bit samples at 44,100 Hz, stereo.
std::vector<std::int16_t> decode(const QString& path) {
    const QByteArray pcm = run(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "s16le",
                                                          "-ac", "2", "-ar", "44100", "-"});
    std::vector<std::int16_t> samples(static_cast<std::size_t>(pcm.size()) / 2);
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}
} // namespace

class TestConvertEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString source;
    QtProcessLauncher launcher;

    std::optional<QString> convert(const QString& format, const QString& bitrate,
                                   Selection selection, const QString& target) {
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(
            {QStringLiteral(SNIPORA_PROGRAM_DIR), selection, source, format, bitrate, target});
        if (!finished.wait(60000)) {
            return QStringLiteral("no end");
        }
        return finished.at(0).at(0).value<std::optional<QString>>();
    }

private slots:
    void initTestCase() {
        source = dir.filePath(QStringLiteral("chirp.mp3"));
        run(QStringLiteral("ffmpeg"),
            {"-v", "error", "-f", "lavfi", "-i", "aevalsrc=sin(200*t*t)|cos(300*t*t):s=44100:d=20",
             "-b:a", "128k", "-y", source});
        QVERIFY(QFileInfo(source).size() > 0);
    }

    void everyFormatAtItsLength_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QString>("codec");
        for (const auto& [format, codec] : {std::pair{"MP3", "mp3"},
                                            {"WAV", "pcm_s16le"},
                                            {"AAC", "aac"},
                                            {"WMA", "wmav2"},
                                            {"FLAC", "flac"},
                                            {"M4A", "aac"},
                                            {"AC3", "ac3"}}) {
            for (const char* bitrate : {"128k", "32k"}) {
                QTest::addRow("%s %s", format, bitrate) << format << bitrate << codec;
            }
        }
    }
    void everyFormatAtItsLength() {
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(QString, codec);
        const QString target = dir.filePath(QStringLiteral("out.") + format.toLower());
        const auto failure = convert(format, bitrate, {2345, 5678}, target);
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
        const QByteArray probed = run(QStringLiteral("ffprobe"),
                                      {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                       "stream=codec_name", "-of", "csv=p=0", target});
        QCOMPARE(QString::fromLatin1(probed.trimmed()), codec);
    }

    // From its first sample on, the converted section is the source's own sound.
    void losslessOutputEqualsTheSource_data() {
        QTest::addColumn<std::int64_t>("start");
        QTest::addColumn<std::int64_t>("end");
        QTest::newRow("12.345 to 17.5") << std::int64_t{12345} << std::int64_t{17500};
        QTest::newRow("0.7 s") << std::int64_t{3000} << std::int64_t{3700};
        QTest::newRow("from the start") << std::int64_t{0} << std::int64_t{1000};
    }
    void losslessOutputEqualsTheSource() {
        QFETCH(std::int64_t, start);
        QFETCH(std::int64_t, end);
        const QString target = dir.filePath(QStringLiteral("section.flac"));
        const auto failure =
            convert(QStringLiteral("FLAC"), QStringLiteral("512k"), {start, end}, target);
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
        const std::vector<std::int16_t> whole = decode(source);
        const std::vector<std::int16_t> part = decode(target);
        const std::size_t expected = static_cast<std::size_t>((end - start) * 441 / 10) * 2;
        QVERIFY2(
            part.size() + 2 * 2 >= expected && part.size() <= expected + 2 * 2,
            qPrintable(QStringLiteral("%1 samples, %2 expected").arg(part.size()).arg(expected)));
        // The first sample is the one the player plays from at the start mark: rounded up.
        const std::size_t offset = static_cast<std::size_t>((start * 441 + 9) / 10) * 2;
        int worst = 0;
        for (std::size_t i = 0; i < part.size() && offset + i < whole.size(); ++i) {
            worst = std::max(worst, std::abs(int{part[i]} - int{whole[offset + i]}));
        }
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
    }
};

SNIPORA_TEST(TestConvertEndToEnd)
#include "tst_convert_e2e.moc"
