// Cue sheets as rippers write them, read through libcue: track starts, titles, and refusals.
#include "core/cue_sheet.h"
#include "support/test_main.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace snipora;

using Starts = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Starts)

namespace {
// A source of 5 minutes whose frames last 26 ms.
constexpr std::int64_t sourceMs = 300000;
} // namespace

class TestCueSheet : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void tracks_data() {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<Starts>("starts");
        QTest::addColumn<QStringList>("titles"); // the pieces' titles
        QTest::addColumn<QString>("file");

        QTest::newRow("one MP3, album performer")
            << QByteArray("PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"album.mp3\" MP3\n"
                          "  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    PERFORMER \"Band\"\n"
                          "    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 01:02:37\n")
            << Starts{0, 62493} << QStringList{"Intro", "Song"} << "album.mp3";
        QTest::newRow("EAC: INDEX 00 gaps and a PREGAP; the gap stays with the track before")
            << QByteArray("REM GENRE Rock\r\nREM DATE 1999\r\nPERFORMER \"Band\"\r\n"
                          "TITLE \"Album\"\r\nFILE \"Band - Album.wav\" WAVE\r\n"
                          "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    PREGAP 00:02:00\r\n"
                          "    INDEX 01 00:00:00\r\n"
                          "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 00 00:10:00\r\n"
                          "    INDEX 01 00:12:30\r\n"
                          "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 00 01:00:74\r\n"
                          "    INDEX 01 01:01:00\r\n")
            << Starts{0, 12400, 61000} << QStringList{"One", "Two", "Three"} << "Band - Album.wav";
        QTest::newRow("Windows-1252 titles, a guest performer")
            << QByteArray("PERFORMER \"Band\"\nFILE \"x.mp3\" MP3\n  TRACK 01 AUDIO\n"
                          "    TITLE \"Caf\xE9 \x96 live\"\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    TITLE \"Na\xEFve\"\n    PERFORMER \"Guest\"\n"
                          "    INDEX 01 00:30:00\n")
            << Starts{0, 30000} << QStringList{"Café – live", "Guest - Naïve"} << "x.mp3";
        QTest::newRow("UTF-8 with a byte order mark, first track after the start, no titles")
            << QByteArray("\xEF\xBB\xBFTITLE \"\xC3\x84rger\"\nFILE \"a.mp3\" MP3\n"
                          "  TRACK 01 AUDIO\n    INDEX 01 00:05:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 00:06:00\n")
            << Starts{5000, 6000} << QStringList{"", ""} << "a.mp3";
        QTest::newRow("tracks within one MP3 frame merge, keeping the first title")
            << QByteArray("FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"A\"\n"
                          "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"B\"\n"
                          "    INDEX 01 00:10:00\n  TRACK 03 AUDIO\n    TITLE \"C\"\n"
                          "    INDEX 01 00:10:01\n  TRACK 04 AUDIO\n    TITLE \"D\"\n"
                          "    INDEX 01 00:20:00\n")
            << Starts{0, 10000, 10013, 20000} << QStringList{"A", "B", "D"} << "a.mp3";
    }
    void tracks() {
        QFETCH(QByteArray, sheet);
        QFETCH(Starts, starts);
        QFETCH(QStringList, titles);
        QFETCH(QString, file);
        const QString path = dir.filePath("album.cue");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(sheet);
        out.close();
        QString error;
        const auto read = readCueSheet(path, sourceMs, &error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(read->file, file);
        Starts found;
        for (const CueTrack& track : read->tracks) {
            found.push_back(track.startMs);
        }
        QCOMPARE(found, starts);
        PieceList pieces(sourceMs, 26);
        applyCueSheet(*read, pieces);
        QStringList named;
        for (const Piece& piece : pieces.pieces()) {
            named << piece.title;
        }
        QCOMPARE(named, titles);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QString>("error");
        QTest::newRow("not a cue sheet")
            << QByteArray("\x89PNG\r\n\x1A\n")
            << "the cue sheet bad.cue cannot be used: libcue cannot read it";
        QTest::newRow("no track") << QByteArray("TITLE \"Nothing\"\nFILE \"a.mp3\" MP3\n")
                                  << "the cue sheet bad.cue cannot be used: libcue cannot read it";
        QTest::newRow("several FILE lines, one per track")
            << QByteArray("FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n")
            << "the cue sheet bad.cue cannot be used: its tracks lie in several files "
               "(01.wav, 02.wav)";
        QTest::newRow("times running backwards")
            << QByteArray("FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 01:00:00\n"
                          "  TRACK 03 AUDIO\n    INDEX 01 00:50:00\n")
            << "the cue sheet bad.cue cannot be used: track 3 starts at 0:50.000, not after "
               "track 2 (1:00.000)";
        QTest::newRow("past the end of the file")
            << QByteArray("FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 05:00:00\n")
            << "the cue sheet bad.cue cannot be used: track 2 starts at 5:00.000, past the end "
               "of the file (5:00.000)";
    }
    void refused() {
        QFETCH(QByteArray, sheet);
        QFETCH(QString, error);
        const QString path = dir.filePath("bad.cue");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(sheet);
        out.close();
        QString message;
        QVERIFY(!readCueSheet(path, sourceMs, &message));
        QCOMPARE(message, error);
    }

    void writtenBackAndReadAgain() {
        PieceList pieces(sourceMs, 26);
        pieces.setSplitPoints({62493, 123456, 3723400 / 20});
        pieces.setTitle(0, "Intro \"live\"");
        pieces.setTitle(1, "Café – Ärger");
        const QByteArray text = cueSheetText(pieces.pieces(), "album.mp3", "The Album");
        QVERIFY2(text.contains("\r\n  TRACK 04 AUDIO\r\n    INDEX 01 03:06:13\r\n"),
                 text.constData());
        QString problem;
        const auto read = parseCueSheet(text, &problem);
        QVERIFY2(read, qPrintable(problem));
        QCOMPARE(read->title, "The Album");
        QCOMPARE(read->file, "album.mp3");
        QCOMPARE(read->tracks.size(), 4u);
        const std::vector<Piece> written = pieces.pieces();
        for (std::size_t i = 0; i < written.size(); ++i) {
            // Within half a cue frame of the piece's start.
            QVERIFY(std::abs(read->tracks[i].startMs - written[i].startMs) <= 7);
        }
        QCOMPARE(read->tracks[0].title, "Intro 'live'");
        QCOMPARE(read->tracks[1].title, "Café – Ärger");
        QCOMPARE(read->tracks[2].title, QString());
    }

    void missingSheetIsNamed() {
        QString message;
        QVERIFY(!readCueSheet(dir.filePath("gone.cue"), sourceMs, &message));
        QVERIFY2(message.startsWith("cannot read the cue sheet gone.cue: "), qPrintable(message));
    }
};

SNIPORA_TEST(TestCueSheet)
#include "tst_cue_sheet.moc"
