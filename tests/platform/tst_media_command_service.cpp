// The media command service on real MP3 files: lengths, positions, modes, the end of the media,
// bad files, refused commands and what a listener would have heard.
#include "mp3_fixtures.h"
#include "support/test_main.h"

#include "media/media_controller.h"
#include "platform/mci/mci_status.h"
#include "platform/mci/media_command_service.h"
#include "platform/mci/paced_output.h"
#include "platform/qt_host.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <filesystem>
#include <thread>

using namespace snipora;
using namespace snipora::mci;
using snipora::test::Mp3Fixtures;

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A sound device that refuses to start, or one that plays half a second and then goes away.
class BrokenOutput final : public AudioOutput {
public:
    explicit BrokenOutput(bool starts) : starts_(starts) {}
    bool start(const PcmFormat& format, std::shared_ptr<PcmSource> source) override {
        if (!starts_) {
            return false;
        }
        std::vector<std::int16_t> samples(static_cast<std::size_t>(format.channels) * 22050);
        played_ = static_cast<std::int64_t>(source->readFrames(samples.data(), 22050));
        return true;
    }
    void pause() override {}
    void resume() override {}
    void stop() override {}
    std::int64_t framesPlayed() override { return played_; }
    bool failed() override { return starts_; }

private:
    const bool starts_;
    std::int64_t played_ = 0;
};
} // namespace

class TestMediaCommandService : public QObject {
    Q_OBJECT

    const Mp3Fixtures& files = Mp3Fixtures::shared();
    std::unique_ptr<MediaCommandService> service;

    std::uint32_t send(const QByteArray& command) {
        return service->sendString(std::string_view(command.constData(), command.size()), nullptr,
                                   0);
    }
    QByteArray query(const QByteArray& command, std::uint32_t* status = nullptr) {
        std::array<char, 128> reply{};
        const std::uint32_t result = service->sendString(
            std::string_view(command.constData(), command.size()), reply.data(), 128);
        if (status) {
            *status = result;
        }
        return result == 0 ? QByteArray(reply.data())
                           : QByteArray("refused ") + QByteArray::number(result);
    }
    qint64 number(const QByteArray& command) { return query(command).toLongLong(); }
    std::uint32_t openMovie(const QString& file) {
        return send("open \"" + QFile::encodeName(file) + "\" type mpegvideo alias movie");
    }
    // Polls the mode until it is `mode` or `limitMs` have passed.
    bool waitForMode(const QByteArray& mode, int limitMs) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < limitMs) {
            if (query("status movie mode") == mode) {
                return true;
            }
            sleepMs(20);
        }
        return query("status movie mode") == mode;
    }

private slots:
    void initTestCase() { QVERIFY(!files.cbr.isEmpty()); }
    void init() { service = std::make_unique<MediaCommandService>(test::testOutputs()); }
    void cleanup() { service.reset(); }

    void lengthIsExact_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sourceMs"); // what ffmpeg was asked to encode
        QTest::newRow("CBR 128k") << files.cbr << 3000;
        QTest::newRow("VBR with Xing") << files.vbrXing << 3000;
        QTest::newRow("VBR without Xing") << files.vbrNoXing << -1;
        QTest::newRow("200 KB cover picture") << files.cover << 3000;
        QTest::newRow("under one second") << files.shortOne << 400;
        QTest::newRow("mono 22050 Hz") << files.mono << 2000;
    }
    void lengthIsExact() {
        QFETCH(QString, file);
        QFETCH(int, sourceMs);
        QCOMPARE(openMovie(file), 0U);
        QCOMPARE(send("set movie time format ms"), 0U);
        const qint64 length = number("status movie length");
        const int rate = file == files.mono ? 22050 : 44100;
        // The same count a decoder reading straight through arrives at.
        QCOMPARE(length, test::decodedFrameCount(file) * 1000 / rate);
        if (sourceMs > 0) {
            // The Xing header's encoder delay and padding are left out: the source's own length.
            QCOMPARE(length, qint64{sourceMs});
        } else {
            QVERIFY2(length >= 3000 && length < 3100, QByteArray::number(length));
        }
    }

    void opensStoppedAtTheStart() {
        QCOMPARE(openMovie(files.cbr), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        QCOMPARE(query("status movie position wait"), QByteArray("0"));
    }

    void playPauseResumeStop() {
        QCOMPARE(openMovie(files.cbr), 0U);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("play movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        sleepMs(300);
        const qint64 playing = number("status movie position");
        // Heard in real time: never ahead of the clock.
        QVERIFY2(playing > 0 && playing <= clock.elapsed(), QByteArray::number(playing));

        QCOMPARE(send("pause movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("paused"));
        const qint64 paused = number("status movie position");
        QVERIFY(paused >= playing);
        sleepMs(150);
        QCOMPARE(number("status movie position"), paused);

        QCOMPARE(send("resume movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        sleepMs(200);
        const qint64 resumed = number("status movie position");
        QVERIFY2(resumed > paused, QByteArray::number(resumed));

        QCOMPARE(send("stop movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        const qint64 stopped = number("status movie position");
        QVERIFY(stopped >= resumed);
        sleepMs(100);
        QCOMPARE(number("status movie position"), stopped); // a stop keeps the position

        // Play goes on from the stop, as after a pause.
        QCOMPARE(send("play movie"), 0U);
        sleepMs(100);
        QVERIFY(number("status movie position") >= stopped);
        QCOMPARE(send("pause movie"), 0U);
        QCOMPARE(send("play movie"), 0U); // a paused device resumes on play
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
    }

    void seekLeavesTheDeviceStoppedThere_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<bool>("whilePlaying");
        QTest::newRow("1500 while stopped")
            << QByteArray("seek movie to 1500") << qint64{1500} << false;
        QTest::newRow("1500 while playing")
            << QByteArray("seek movie to 1500") << qint64{1500} << true;
        QTest::newRow("a millisecond between samples")
            << QByteArray("seek movie to 1001") << qint64{1001} << false;
        QTest::newRow("zero") << QByteArray("seek movie to 0") << qint64{0} << true;
        QTest::newRow("past the end: clamped")
            << QByteArray("seek movie to 99999") << qint64{3000} << true;
        QTest::newRow("to end") << QByteArray("seek movie to end") << qint64{3000} << false;
        QTest::newRow("to start") << QByteArray("SEEK MOVIE TO START") << qint64{0} << true;
    }
    void seekLeavesTheDeviceStoppedThere() {
        QFETCH(QByteArray, command);
        QFETCH(qint64, position);
        QFETCH(bool, whilePlaying);
        QCOMPARE(openMovie(files.cbr), 0U);
        if (whilePlaying) {
            QCOMPARE(send("play movie from 500"), 0U);
        }
        QCOMPARE(send(command), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        QCOMPARE(number("status movie position wait"), position);
        sleepMs(60);
        QCOMPARE(number("status movie position wait"), position);
    }

    void seekOnTheMonoFileIsExactToTheMillisecond() {
        // 22.05 samples a millisecond: every millisecond reads back as itself.
        QCOMPARE(openMovie(files.mono), 0U);
        for (int ms : {1, 7, 333, 1001, 1999, 2000}) {
            QCOMPARE(send("seek movie to " + QByteArray::number(ms)), 0U);
            QCOMPARE(number("status movie position"), qint64{ms});
        }
    }

    void playFromStartsThere() {
        QCOMPARE(openMovie(files.vbrNoXing), 0U);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("play movie from 2000"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        const qint64 first = number("status movie position");
        QVERIFY2(first >= 2000 && first <= 2000 + clock.elapsed(), QByteArray::number(first));
        sleepMs(200);
        const qint64 later = number("status movie position");
        QVERIFY2(later > first && later <= 2000 + clock.elapsed(), QByteArray::number(later));
        // Play from while playing starts over from the new place.
        clock.restart();
        QCOMPARE(send("play movie from 500"), 0U);
        const qint64 again = number("status movie position");
        QVERIFY2(again >= 500 && again <= 500 + clock.elapsed(), QByteArray::number(again));
    }

    void theEndStopsAtTheLength() {
        QCOMPARE(openMovie(files.shortOne), 0U);
        QCOMPARE(send("play movie"), 0U);
        QVERIFY(waitForMode("stopped", 3000));
        QCOMPARE(number("status movie position"), number("status movie length"));
        // Play at the end has nothing left to play.
        QCOMPARE(send("play movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        // Play from past the end neither: the position stays at the length.
        QCOMPARE(send("play movie from 99999"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        QCOMPARE(number("status movie position"), qint64{400});
        // From the start it plays again.
        QCOMPARE(send("play movie from 0"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
    }

    void theEndAfterAPlayFromNearIt() {
        QCOMPARE(openMovie(files.cbr), 0U);
        QCOMPARE(send("play movie from 2800"), 0U);
        QVERIFY(waitForMode("stopped", 2500));
        QCOMPARE(number("status movie position"), qint64{3000});
    }

    void badFilesAreRefused_data() {
        QTest::addColumn<QByteArray>("content"); // written to the file; "missing": no file
        QTest::addColumn<uint>("status");
        QTest::newRow("missing") << QByteArray("missing") << uint{FileNotFound};
        QTest::newRow("text") << QByteArray("This is not sound at all.\n").repeated(400)
                              << uint{InvalidFile};
        QByteArray random(64 * 1024, '\0');
        QRandomGenerator generator(42);
        for (char& byte : random) {
            byte = static_cast<char>(generator.bounded(256));
        }
        QTest::newRow("random bytes") << random << uint{InvalidFile};
        QTest::newRow("empty") << QByteArray() << uint{InvalidFile};
        QTest::newRow("a frame header cut short") << QByteArray("\xff\xfb", 2) << uint{InvalidFile};
        QTest::newRow("an ID3 tag and nothing else")
            << QByteArray("ID3\x03\x00\x00\x00\x00\x10\x00", 10) << uint{InvalidFile};
        QTest::newRow("a WAV file")
            << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + QByteArray(4000, '\x01')
            << uint{InvalidFile};
    }
    void badFilesAreRefused() {
        QFETCH(QByteArray, content);
        QFETCH(uint, status);
        const QString file = files.path("bad.mp3");
        QFile::remove(file);
        if (content != "missing") {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        QCOMPARE(openMovie(file), status);
        // No device is left open under the alias.
        QCOMPARE(send("status movie mode"), uint{InvalidDeviceName});
        QCOMPARE(openMovie(files.cbr), 0U);
    }

    void aFolderIsRefused() {
        QCOMPARE(openMovie(files.dir.path()), uint{InvalidFile});
        QCOMPARE(send("status movie mode"), uint{InvalidDeviceName});
    }

    void aCutOffFileOpensWithTheLengthItHas() {
        QFile whole(files.cbr);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray data = whole.readAll();
        QFile cut(files.path("cut.mp3"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(data.left(data.size() / 2));
        cut.close();
        QCOMPARE(openMovie(cut.fileName()), 0U);
        const qint64 length = number("status movie length");
        QCOMPARE(length, test::decodedFrameCount(cut.fileName()) * 1000 / 44100);
        QCOMPARE(send("play movie from " + QByteArray::number(length - 100)), 0U);
        QVERIFY(waitForMode("stopped", 2500));
        QCOMPARE(number("status movie position"), length);
    }

    void commandsAreAnsweredWithTheirStatus_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<uint>("status");
        QTest::addColumn<QByteArray>("reply"); // with status 0
        const auto row = [](const char* name, const char* command, uint status,
                            const char* reply = "") {
            QTest::newRow(name) << QByteArray(command) << status << QByteArray(reply);
        };
        row("keywords in any case", "StAtUs MoViE MoDe", 0, "stopped");
        row("wait flag", "status movie length wait", 0, "3000");
        row("time format ms", "set movie time format ms", 0);
        row("time format milliseconds", "set movie time format milliseconds wait", 0);
        row("another time format", "set movie time format frames", BadTimeFormat);
        row("empty", "", MissingCommandString);
        row("blanks only", "  \t ", MissingCommandString);
        row("unknown command", "rewind movie", UnrecognizedCommand);
        row("unknown alias", "play film", InvalidDeviceName);
        row("unknown alias, status", "status film mode", InvalidDeviceName);
        row("no device", "play", MissingDeviceName);
        row("unknown keyword", "play movie fast", UnrecognizedKeyword);
        row("unknown status item", "status movie volume", UnrecognizedKeyword);
        row("status without item", "status movie", MissingParameter);
        row("two status items", "status movie length mode", FlagsNotCompatible);
        row("from without number", "play movie from", MissingParameter);
        row("from with text", "play movie from soon", BadInteger);
        row("from beyond 32 bits", "play movie from 99999999999", BadInteger);
        row("from given twice", "play movie from 1 from 2", DuplicateFlags);
        row("negative from", "play movie from -5", OutOfRange);
        row("negative seek", "seek movie to -1", OutOfRange);
        row("seek without target", "seek movie", MissingParameter);
        row("all with play", "play all", CannotUseAll);
        row("open an open alias", "open nothing.mp3 alias movie", DuplicateAlias);
        row("open another type", "open x.wav type waveaudio alias other", InvalidDeviceName);
        row("open without file", "open", MissingDeviceName);
        row("open an empty name", "open \"\" type mpegvideo alias other", FileNotFound);
        row("open alias all", "open x.mp3 alias all", CannotUseAll);
        row("open with a bad parent", "open x.mp3 alias y parent window", BadInteger);
        row("open with alias twice", "open x.mp3 alias y alias z", DuplicateFlags);
        row("alias without name", "open x.mp3 alias", MissingStringArgument);
        row("no closing quote", "open \"x.mp3 alias y", NoClosingQuote);
        row("text after a quote", "open \"x\"y.mp3 alias y", ExtraCharacters);
        row("a quote inside a word", "open x\"y\".mp3 alias y", ExtraCharacters);
        row("close an unknown alias", "close film", InvalidDeviceName);
        QTest::newRow("text after a zero byte is not read")
            << QByteArray("status movie mode\0garbage", 25) << 0U << QByteArray("stopped");
    }
    void commandsAreAnsweredWithTheirStatus() {
        QFETCH(QByteArray, command);
        QFETCH(uint, status);
        QFETCH(QByteArray, reply);
        QCOMPARE(openMovie(files.cbr), 0U);
        std::array<char, 128> buffer{};
        buffer.fill('#');
        QCOMPARE(service->sendString(std::string_view(command.constData(), command.size()),
                                     buffer.data(), 128),
                 status);
        QVERIFY(!statusText(status).empty());
        if (status == 0) {
            QCOMPARE(QByteArray(buffer.data()), reply);
        } else {
            // A refused command writes nothing: the caller's buffer keeps what it held.
            QCOMPARE(buffer[0], '#');
        }
        // The device is still there and still answers.
        QCOMPARE(send("status movie mode"), 0U);
    }

    void repliesAreCutToTheBuffer() {
        QCOMPARE(openMovie(files.cbr), 0U);
        std::array<char, 8> buffer;
        buffer.fill('#');
        QCOMPARE(service->sendString("status movie mode", buffer.data(), 4), 0U);
        QCOMPARE(QByteArray(buffer.data(), 5), QByteArray("sto\0#", 5));
        QCOMPARE(service->sendString("status movie mode", buffer.data(), 1), 0U);
        QCOMPARE(buffer[0], '\0');
        QCOMPARE(buffer[1], 't');
        QCOMPARE(service->sendString("status movie mode", buffer.data(), 0), 0U);
        QCOMPARE(service->sendString("status movie mode", nullptr, 100), 0U);
    }

    void devicesAreKeptByAlias() {
        const QByteArray cbr = QFile::encodeName(files.cbr);
        const QByteArray mono = QFile::encodeName(files.mono);
        QCOMPARE(send("open \"" + cbr + "\" type mpegvideo alias One"), 0U);
        QCOMPARE(send("open \"" + mono + "\" type MPEGVideo alias two wait"), 0U);
        QCOMPARE(query("status one length"), QByteArray("3000"));
        QCOMPARE(query("status TWO length"), QByteArray("2000"));
        QCOMPARE(send("play one"), 0U);
        QCOMPARE(query("status two mode"), QByteArray("stopped"));
        QCOMPARE(send("close one"), 0U);
        QCOMPARE(send("status one mode"), uint{InvalidDeviceName});
        QCOMPARE(send("close one"), uint{InvalidDeviceName});
        QCOMPARE(query("status two mode"), QByteArray("stopped"));
        QCOMPARE(send("open \"" + cbr + "\" alias one"), 0U); // the name is free again
        QCOMPARE(send("close all"), 0U);
        QCOMPARE(send("status one mode"), uint{InvalidDeviceName});
        QCOMPARE(send("status two mode"), uint{InvalidDeviceName});
        QCOMPARE(send("close all"), 0U); // nothing open: still fine
    }

    void theMediaControllerDrivesItEndToEnd() {
        // The exact texts the media controller sends, a path with blanks among them.
        MediaController movie(*service);
        QCOMPARE(movie.openMovieWindow(QFile::encodeName(files.withBlanks), 1234,
                                       QStringLiteral("child")),
                 0U);
        QCOMPARE(movie.getLengthInMS(), 3000);
        QVERIFY(!movie.isMoviePlaying());
        movie.setPositionTo(1500);
        QCOMPARE(movie.getPositionInMS(), 1500);
        movie.playMovie();
        QVERIFY(movie.isMoviePlaying());
        movie.setPositionTo(2500); // while playing: play from
        QVERIFY(movie.isMoviePlaying());
        QVERIFY(movie.getPositionInMS() >= 2500);
        movie.pauseMovie();
        QVERIFY(!movie.isMoviePlaying());
        movie.closeMovie();
        QCOMPARE(movie.lastStatus(), 0U);
        QVERIFY(!movie.isMoviePlaying());
        QCOMPARE(movie.lastStatus(), uint{InvalidDeviceName});
    }

    void namesAreOpenedAsTheFileSystemSpellsThem_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("quotes that would end the name") << QByteArray("x\" alias movie \"y.mp3");
        QTest::newRow("quotes side by side") << QByteArray("\"\"q\".mp3");
        QTest::newRow("blanks") << QByteArray(" a  b .mp3");
        QTest::newRow("not ASCII") << QByteArray("\xc3\xa9t\xc3\xa9 \xe2\x99\xaa.mp3");
        QTest::newRow("not valid UTF-8") << QByteArray("\xff\xfe \xe9t\xe9.mp3");
    }
    void namesAreOpenedAsTheFileSystemSpellsThem() {
        QFETCH(QByteArray, name);
        const QByteArray path = QFile::encodeName(files.dir.path()) + '/' + name;
        std::filesystem::copy_file(QFile::encodeName(files.cbr).toStdString(), path.toStdString(),
                                   std::filesystem::copy_options::overwrite_existing);
        // As the media controller quotes a name: every quote doubled.
        QByteArray quoted = path;
        quoted.replace("\"", "\"\"");
        QCOMPARE(send("open \"" + quoted + "\" type mpegvideo alias movie"), 0U);
        QCOMPARE(query("status movie length"), QByteArray("3000"));
        QCOMPARE(send("play movie from 2000"), 0U);
        QTRY_VERIFY(number("status movie position") > 2000);
        QCOMPARE(send("close movie"), 0U);
        QCOMPARE(send("status movie mode"), uint{InvalidDeviceName});
    }

    void aSoundDeviceThatCannotStartLeavesItPlayingInSilence() {
        service = std::make_unique<MediaCommandService>(
            [] { return std::make_unique<BrokenOutput>(false); });
        QCOMPARE(openMovie(files.shortOne), 0U);
        QCOMPARE(send("play movie"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        QVERIFY(waitForMode("stopped", 3000)); // paced to its end all the same
        QCOMPARE(number("status movie position"), qint64{400});
    }

    void aSoundDeviceThatGoesAwayLeavesItPlayingInSilence() {
        service = std::make_unique<MediaCommandService>(
            [] { return std::make_unique<BrokenOutput>(true); });
        QCOMPARE(openMovie(files.cbr), 0U);
        QCOMPARE(send("play movie from 1000"), 0U);
        // Half a second was heard before the device went; playing goes on from there.
        const qint64 resumed = number("status movie position");
        QVERIFY2(resumed >= 1500 && resumed < 1700, QByteArray::number(resumed));
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        sleepMs(150);
        QVERIFY(number("status movie position") > resumed);
    }

    void noInputCrashesIt() {
        // Random words of the command language and random bytes, in random order: every answer
        // is a status of the table, and the service keeps working.
        const QByteArray file = "\"" + QFile::encodeName(files.shortOne) + "\"";
        const QList<QByteArray> words{
            "open",     "close",  "play",     "seek",       "stop",
            "pause",    "resume", "set",      "status",     "movie",
            "MOVIE",    "all",    "other",    "type",       "mpegvideo",
            "alias",    "parent", "style",    "child",      "from",
            "to",       "start",  "end",      "time",       "format",
            "ms",       "length", "position", "mode",       "wait",
            "0",        "1500",   "-1",       "2147483648", "99999999999999999999",
            "\"",       "\"\"",   file,       file,         "\"/no/such file.mp3\"",
            "\xff\xfe", "\t",     "x\"y"};
        QRandomGenerator generator(2026);
        for (int i = 0; i < 1500; ++i) {
            QByteArray command;
            if (generator.bounded(5) == 0) {
                command.resize(generator.bounded(40));
                for (char& byte : command) {
                    byte = static_cast<char>(generator.bounded(256));
                }
            } else {
                const int count = generator.bounded(8);
                for (int w = 0; w < count; ++w) {
                    command += words[generator.bounded(words.size())];
                    command += generator.bounded(10) == 0 ? "" : " ";
                }
            }
            std::array<char, 16> reply{};
            const std::uint32_t status = service->sendString(
                std::string_view(command.constData(), command.size()), reply.data(),
                static_cast<std::uint32_t>(generator.bounded(17)));
            QVERIFY2(!statusText(status).empty(), command.toHex().constData());
            if (i % 100 == 99) {
                QCOMPARE(send("close all"), 0U);
            }
        }
        QCOMPARE(send("close all"), 0U);
        QCOMPARE(openMovie(files.shortOne), 0U);
        QCOMPARE(query("status movie length"), QByteArray("400"));
    }
};

SNIPORA_TEST(TestMediaCommandService)

#include "tst_media_command_service.moc"
