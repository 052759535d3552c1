// Command texts parsed into values: names, numbers and flags as the service will act on them.
#include "support/test_main.h"

#include "platform/mci/mci_command.h"
#include "platform/mci/mci_status.h"

#include <QTest>

using namespace snipora::mci;

class TestMciCommand : public QObject {
    Q_OBJECT

private slots:
    void opensKeepTheFileAsGiven_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("wait");
        QTest::newRow("as the controller sends it")
            << QByteArray("open \"/home/me/My Music/a b.mp3\" type mpegvideo alias movie parent "
                          "1234 style child ")
            << QByteArray("/home/me/My Music/a b.mp3") << QByteArray("movie") << false;
        QTest::newRow("without parent") << QByteArray("open \"x.mp3\" type mpegvideo alias movie")
                                        << QByteArray("x.mp3") << QByteArray("movie") << false;
        QTest::newRow("alias in capitals, wait")
            << QByteArray("OPEN x.mp3 TYPE MpegVideo ALIAS Movie WAIT") << QByteArray("x.mp3")
            << QByteArray("movie") << true;
        QTest::newRow("no alias: the file names the device")
            << QByteArray("open Song.MP3") << QByteArray("Song.MP3") << QByteArray("song.mp3")
            << false;
        QTest::newRow("tabs and line ends are blanks")
            << QByteArray("open\t\"a\"\r\nalias\tm") << QByteArray("a") << QByteArray("m") << false;
        QTest::newRow("bytes beyond ASCII pass unchanged")
            << QByteArray("open \"/tmp/\xc3\xa9t\xc3\xa9.mp3\" alias movie")
            << QByteArray("/tmp/\xc3\xa9t\xc3\xa9.mp3") << QByteArray("movie") << false;
        QTest::newRow("a doubled quote is one quote of the name")
            << QByteArray("open \"/m/x\"\" alias movie \"\"y.mp3\" type mpegvideo alias movie")
            << QByteArray("/m/x\" alias movie \"y.mp3") << QByteArray("movie") << false;
        QTest::newRow("a name that is one quote")
            << QByteArray("open \"\"\"\" alias m") << QByteArray("\"") << QByteArray("m") << false;
        QTest::newRow("negative parent") << QByteArray("open a alias b parent -7 style 1073741824")
                                         << QByteArray("a") << QByteArray("b") << false;
    }
    void opensKeepTheFileAsGiven() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, element);
        QFETCH(QByteArray, device);
        QFETCH(bool, wait);
        const ParsedCommand parsed = parseCommand(std::string_view(text.constData(), text.size()));
        QCOMPARE(parsed.status, 0U);
        QVERIFY(parsed.command);
        QCOMPARE(int(parsed.command->verb), int(Verb::Open));
        QCOMPARE(parsed.command->element, element);
        QCOMPARE(parsed.command->device, device);
        QCOMPARE(parsed.command->wait, wait);
    }

    void numbersAndItemsAreRead() {
        ParsedCommand parsed = parseCommand("play movie from 2147483647");
        QVERIFY(parsed.command && parsed.command->from);
        QCOMPARE(*parsed.command->from, 2147483647);
        parsed = parseCommand("play movie from 2147483648");
        QCOMPARE(parsed.status, std::uint32_t{BadInteger});
        parsed = parseCommand("play movie from +12");
        QVERIFY(parsed.command && parsed.command->from);
        QCOMPARE(*parsed.command->from, 12);
        parsed = parseCommand("play movie from -2147483648");
        QVERIFY(parsed.command && parsed.command->from);
        QCOMPARE(*parsed.command->from, -2147483647 - 1);
        parsed = parseCommand("play movie");
        QVERIFY(parsed.command && !parsed.command->from && !parsed.command->skipAt);
        parsed = parseCommand("play movie from 5 SKIP 10 To 20 wait");
        QVERIFY(parsed.command && parsed.command->skipAt && parsed.command->skipTo);
        QCOMPARE(*parsed.command->skipAt, 10);
        QCOMPARE(*parsed.command->skipTo, 20);
        QVERIFY(parsed.command->wait);
        // The skip's "to" comes straight after its place, and only play skips.
        QCOMPARE(parseCommand("play movie skip 10").status, std::uint32_t{MissingParameter});
        QCOMPARE(parseCommand("play movie skip 10 from 5 to 20").status,
                 std::uint32_t{MissingParameter});
        QCOMPARE(parseCommand("play movie skip 1 to 2 skip 3 to 4").status,
                 std::uint32_t{DuplicateFlags});
        QCOMPARE(parseCommand("seek movie skip 1 to 2").status, std::uint32_t{UnrecognizedKeyword});
        parsed = parseCommand("seek movie to 5000");
        QVERIFY(parsed.command);
        QCOMPARE(int(parsed.command->seekTarget), int(SeekTarget::Position));
        QCOMPARE(parsed.command->to, 5000);
        parsed = parseCommand("seek movie to END");
        QVERIFY(parsed.command);
        QCOMPARE(int(parsed.command->seekTarget), int(SeekTarget::End));
        parsed = parseCommand("status movie position wait");
        QVERIFY(parsed.command && parsed.command->wait);
        QCOMPARE(int(parsed.command->item), int(StatusItem::Position));
        parsed = parseCommand("close ALL");
        QVERIFY(parsed.command);
        QCOMPARE(parsed.command->device, QByteArray("all"));
        parsed = parseCommand("play \"Movie\"");
        QVERIFY(parsed.command);
        QCOMPARE(parsed.command->device, QByteArray("movie"));
    }

    void keywordsAreWordsNotQuotedTexts() {
        // A quoted "from" is a name, not the keyword.
        QCOMPARE(parseCommand("play movie \"from\" 5").status, std::uint32_t{UnrecognizedKeyword});
        QCOMPARE(parseCommand("\"play\" movie").status, std::uint32_t{UnrecognizedCommand});
        // A doubled quote never closes the text.
        QCOMPARE(parseCommand("open \"x\"\" alias y").status, std::uint32_t{NoClosingQuote});
    }
};

SNIPORA_TEST(TestMciCommand)

#include "tst_mci_command.moc"
