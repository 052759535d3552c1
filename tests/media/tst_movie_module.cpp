// MovieModule on the scripted device: command texts, reply parsing, positioning and the wait.
#include "app/failure.h"
#include "media/movie_module.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QTest>

#include <cstring>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::FakeMedia;

using Commands = QList<QByteArray>;

class TestMovieModule : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<MovieModule> movie;

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        movie = std::make_unique<MovieModule>(fakes->media, fakes->clock, fakes->pump);
    }

    void startsEmptyAndSendsNothing() {
        QCOMPARE(movie->Error, 0);
        QCOMPARE(movie->Filename, QString());
        for (char c : movie->replyBuffer()) {
            QCOMPARE(c, '\0');
        }
        QVERIFY(fakes->media.commands.isEmpty());
    }

    void openMovieWindowQuotesAndEndsWithABlank() {
        movie->Filename = QStringLiteral("/music/my song.mp3");
        fakes->media.answer("close movie", FakeMedia::Answer{263, {}, false});
        movie->openMovieWindow(1234, QStringLiteral("child"));
        QCOMPARE(fakes->media.commands,
                 (Commands{"close movie", "open \"/music/my song.mp3\" type mpegvideo alias movie "
                                          "parent 1234 style child "}));
        QCOMPARE(movie->Filename, QStringLiteral("\"/music/my song.mp3\""));
        QCOMPARE(movie->Error, 0); // the open's status, not the close's
    }

    void secondOpenWrapsTwice() {
        movie->Filename = QStringLiteral("a.mp3");
        movie->openMovieWindow(1, QStringLiteral("child"));
        movie->openMovie();
        QCOMPARE(movie->Filename, QStringLiteral("\"\"a.mp3\"\""));
        QCOMPARE(fakes->media.commands.constLast(),
                 QByteArray("open \"\"a.mp3\"\" type mpegvideo alias movie"));
    }

    void plainCommands_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("play") << 0 << QByteArray("play movie");
        QTest::newRow("stop") << 1 << QByteArray("stop movie");
        QTest::newRow("pause") << 2 << QByteArray("pause movie");
        QTest::newRow("resume") << 3 << QByteArray("resume movie");
        QTest::newRow("close") << 4 << QByteArray("close all");
    }
    void plainCommands() {
        QFETCH(int, method);
        QFETCH(QByteArray, command);
        fakes->media.defaultStatus = 263;
        const std::array<void (MovieModule::*)(), 5> methods{
            &MovieModule::playMovie, &MovieModule::stopMovie, &MovieModule::pauseMovie,
            &MovieModule::resumeMovie, &MovieModule::closeMovie};
        (movie.get()->*methods[static_cast<std::size_t>(method)])();
        QCOMPARE(fakes->media.commands, Commands{command});
        QCOMPARE(movie->Error, 263); // kept, never raised
    }

    void readNumbers_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("seconds");
        QTest::newRow("7500") << QByteArray("7500") << 7500 << 7;
        QTest::newRow("999") << QByteArray("999") << 999 << 0;
        QTest::newRow("1999 truncates") << QByteArray("1999") << 1999 << 1;
        QTest::newRow("no number") << QByteArray("stopped") << 0 << 0;
        QTest::newRow("empty") << QByteArray("") << 0 << 0;
        QTest::newRow("leading blanks") << QByteArray("   4200 ms") << 4200 << 4;
        QTest::newRow("sign and fraction") << QByteArray("-12.5x") << -12 << 0;
        QTest::newRow("half to even up") << QByteArray("13.5") << 14 << 0;
        QTest::newRow("fraction only") << QByteArray(".6") << 1 << 0;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647 << 2147483;
        QTest::newRow("negative seconds truncate toward zero")
            << QByteArray("-1999") << -1999 << -1;
    }
    void readNumbers() {
        QFETCH(QByteArray, reply);
        QFETCH(int, ms);
        QFETCH(int, seconds);
        fakes->media.answer("status movie length", reply);
        fakes->media.answer("status movie position wait", reply);
        QCOMPARE(movie->getLengthInMS(), ms);
        QCOMPARE(movie->getLengthInSec(), seconds);
        QCOMPARE(movie->getPositionInMS(), ms);
        QCOMPARE(movie->getPositionInSec(), seconds);
        QCOMPARE(fakes->media.commands.mid(0, 2),
                 (Commands{"set movie time format ms", "status movie length"}));
        QCOMPARE(fakes->media.commands.mid(4, 2),
                 (Commands{"set movie time format ms", "status movie position wait"}));
    }

    void overflowIsRaised() {
        fakes->media.answer("status movie length", QByteArray("2147483648"));
        QVERIFY_THROWS_EXCEPTION(OverflowError, movie->getLengthInMS());
        fakes->media.answer("status movie position wait", QByteArray("-99999999999"));
        QVERIFY_THROWS_EXCEPTION(OverflowError, movie->getPositionInSec());
    }

    void refusedQueryParsesThePreviousReply() {
        fakes->media.answerInTurn("status movie length", {FakeMedia::Answer{0, "7500", true},
                                                          FakeMedia::Answer{263, {}, false}});
        QCOMPARE(movie->getLengthInMS(), 7500);
        QCOMPARE(movie->getLengthInMS(), 7500);
        QCOMPARE(movie->Error, 263);
    }

    void olderTextBehindTheZeroIsNotRead() {
        fakes->media.answerInTurn("status movie length", {FakeMedia::Answer{0, "123456", true},
                                                          FakeMedia::Answer{0, "9", true}});
        QCOMPARE(movie->getLengthInMS(), 123456);
        QCOMPARE(movie->getLengthInMS(), 9);
        QCOMPARE(std::memcmp(movie->replyBuffer().data(),
                             "9\0"
                             "3456",
                             6),
                 0);
    }

    void playingIsTheFirstSevenCharacters_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<bool>("playing");
        QTest::newRow("playing") << QByteArray("playing") << true;
        QTest::newRow("longer text") << QByteArray("playing forward") << true;
        QTest::newRow("paused") << QByteArray("paused") << false;
        QTest::newRow("stopped") << QByteArray("stopped") << false;
        QTest::newRow("capital") << QByteArray("Playing") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("cut short") << QByteArray("playin") << false;
    }
    void playingIsTheFirstSevenCharacters() {
        QFETCH(QByteArray, mode);
        QFETCH(bool, playing);
        fakes->media.setMode(mode);
        QCOMPARE(movie->isMoviePlaying(), playing);
        QCOMPARE(fakes->media.commands, Commands{"status movie mode"});
    }

    void refusedModeQueryAfterPlayingStillSaysPlaying() {
        fakes->media.answerInTurn("status movie mode", {FakeMedia::Answer{0, "playing", true},
                                                        FakeMedia::Answer{263, {}, false}});
        QVERIFY(movie->isMoviePlaying());
        QVERIFY(movie->isMoviePlaying());
    }

    void setPositionTo_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("target");
        QTest::addColumn<Commands>("expected");
        QTest::newRow("playing") << QByteArray("playing") << 5000
                                 << Commands{"status movie mode", "play movie from 5000"};
        QTest::newRow("paused") << QByteArray("paused") << 5000
                                << Commands{"status movie mode", "status movie mode",
                                            "seek movie to 5000"};
        QTest::newRow("negative") << QByteArray("stopped") << -42
                                  << Commands{"status movie mode", "status movie mode",
                                              "seek movie to -42"};
    }
    void setPositionTo() {
        QFETCH(QByteArray, mode);
        QFETCH(int, target);
        QFETCH(Commands, expected);
        fakes->media.setMode(mode);
        fakes->media.answer("play movie from 5000", FakeMedia::Answer{277, {}, false});
        fakes->media.answer("seek movie to 5000", FakeMedia::Answer{277, {}, false});
        movie->setPositionTo(target);
        QCOMPARE(fakes->media.commands, expected);
        QCOMPARE(movie->Error, 0); // the mode query's status, not the positioning command's
    }

    void setPositionToSendsNothingWhenTheSecondAnswerIsPlaying() {
        fakes->media.answerInTurn("status movie mode", {FakeMedia::Answer{0, "paused", true},
                                                        FakeMedia::Answer{0, "playing", true}});
        movie->setPositionTo(100);
        QCOMPARE(fakes->media.commands, (Commands{"status movie mode", "status movie mode"}));
    }

    void timeOutLasts_data() {
        QTest::addColumn<double>("startClock");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        // The start is the clock rounded half to even: the wait is duration ± 0.5 s.
        QTest::newRow("0 rounded down returns at once") << 100.2 << 0.0 << 0.0 << 0.0;
        QTest::newRow("0 rounded up waits the rest") << 100.7 << 0.0 << 0.29 << 0.31;
        QTest::newRow("0.5 rounded down") << 100.4 << 0.5 << 0.09 << 0.11;
        QTest::newRow("1 rounded up") << 100.6 << 1.0 << 1.39 << 1.41;
        QTest::newRow("half goes to even") << 100.5 << 1.0 << 0.49 << 0.51;
        QTest::newRow("across midnight") << 86399.8 << 1.0 << 1.19 << 1.21;
    }
    void timeOutLasts() {
        QFETCH(double, startClock);
        QFETCH(double, duration);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        fakes->clock.now = startClock;
        movie->timeOut(duration);
        const double waited = fakes->pump.sleptMs / 1000.0;
        QVERIFY2(waited >= minimum && waited <= maximum, qPrintable(QString::number(waited)));
        QVERIFY(fakes->media.commands.isEmpty());
    }

    void timeOutHandlesEventsWhileItWaits() {
        fakes->clock.now = 200.0;
        movie->timeOut(1);
        QVERIFY(fakes->pump.passes > 0);
        // No pass without a pause between: the wait never spins.
        QCOMPARE(fakes->pump.sleeps, fakes->pump.passes);
    }
};

SNIPORA_TEST(TestMovieModule)
#include "tst_movie_module.moc"
