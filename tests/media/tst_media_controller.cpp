// The media controller's replies and file names as the commands carry them.
#include "media/media_controller.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QTest>

#include <cstring>

using namespace snipora;

class TestMediaController : public QObject {
    Q_OBJECT
private slots:
    void replyNumbers_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<qint64>("number");
        QTest::newRow("plain") << QByteArray("12345") << qint64{12345};
        QTest::newRow("blanks and sign") << QByteArray("  -42ms") << qint64{-42};
        QTest::newRow("half to even down") << QByteArray("2.5") << qint64{2};
        QTest::newRow("half to even up") << QByteArray("3.5") << qint64{4};
        QTest::newRow("no number") << QByteArray("playing") << qint64{0};
        QTest::newRow("beyond 32 bits") << QByteArray("5000000000") << qint64{5000000000};
        QTest::newRow("an exponent is not read") << QByteArray("1e30") << qint64{1};
    }
    void replyNumbers() {
        QFETCH(QByteArray, reply);
        QFETCH(qint64, number);
        QCOMPARE(readReplyNumber(reply.constData(), static_cast<std::size_t>(reply.size())),
                 number);
    }

    void fileNamesStayOneWord_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("quoted");
        QTest::newRow("blanks") << QByteArray("/a b/c.mp3") << QByteArray("\"/a b/c.mp3\"");
        QTest::newRow("a quote") << QByteArray("/x\" alias movie \"y.mp3")
                                 << QByteArray("\"/x\"\" alias movie \"\"y.mp3\"");
        QTest::newRow("bytes that are not text")
            << QByteArray("/m\xff\xfe.mp3") << QByteArray("\"/m\xff\xfe.mp3\"");
    }
    void fileNamesStayOneWord() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, quoted);
        QCOMPARE(quotedFileName(path), quoted);
    }

    void seekingFollowsTheMode_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("playing plays on")
            << QByteArray("playing") << QByteArray("play movie from 1500");
        QTest::newRow("paused seeks") << QByteArray("paused") << QByteArray("seek movie to 1500");
    }
    void seekingFollowsTheMode() {
        QFETCH(QByteArray, mode);
        QFETCH(QByteArray, command);
        test::FakeMedia media;
        media.setMode(mode);
        MediaController controller(media);
        controller.setPositionTo(1500);
        QCOMPARE(media.commands.constLast(), command);
    }
};

SNIPORA_TEST(TestMediaController)
#include "tst_media_controller.moc"
