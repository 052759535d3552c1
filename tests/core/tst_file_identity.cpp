// sameFile recognises one file under every spelling of its path.
#include "core/file_identity.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using snipora::sameFile;

class TestFileIdentity : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        QFile source(path(QStringLiteral("song.mp3")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("ID3");
        source.close();
        QFile other(path(QStringLiteral("other.mp3")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QVERIFY(QFile::link(path(QStringLiteral("song.mp3")), path(QStringLiteral("link.mp3"))));
        QVERIFY(::link(QFile::encodeName(path(QStringLiteral("song.mp3"))).constData(),
                       QFile::encodeName(path(QStringLiteral("hard.mp3"))).constData()) == 0);
    }

    void spellings_data() {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("itself") << QStringLiteral("song.mp3") << true;
        QTest::newRow("dot-dot form") << QStringLiteral("sub/../song.mp3") << true;
        QTest::newRow("dot form") << QStringLiteral("./sub/.././song.mp3") << true;
        QTest::newRow("symbolic link") << QStringLiteral("link.mp3") << true;
        QTest::newRow("hard link") << QStringLiteral("hard.mp3") << true;
        QTest::newRow("another file") << QStringLiteral("other.mp3") << false;
        QTest::newRow("a missing file") << QStringLiteral("missing.mp3") << false;
        QTest::newRow("letter case differs") << QStringLiteral("SONG.mp3") << false;
    }
    void spellings() {
        QFETCH(QString, other);
        QFETCH(bool, same);
        QCOMPARE(sameFile(path(QStringLiteral("song.mp3")), path(other)), same);
        QCOMPARE(sameFile(path(other), path(QStringLiteral("song.mp3"))), same);
    }

    void relativeToTheWorkingFolder() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(path(QStringLiteral("sub"))));
        const bool same = sameFile(QStringLiteral("../song.mp3"), path(QStringLiteral("song.mp3")));
        QDir::setCurrent(before);
        QVERIFY(same);
    }

    void emptyAndMissingPaths() {
        QVERIFY(!sameFile(QString(), path(QStringLiteral("song.mp3"))));
        QVERIFY(!sameFile(QString(), QString()));
        QVERIFY(sameFile(path(QStringLiteral("gone/x.mp3")),
                         path(QStringLiteral("gone/../gone/x.mp3"))));
    }
};

SNIPORA_TEST(TestFileIdentity)
#include "tst_file_identity.moc"
