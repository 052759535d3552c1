// Convert Save end to end with the real encoder, the real process launcher and a real event loop.
#include "app/form1.h"
#include "platform/qt_host.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

using namespace snipora;
using snipora::test::FakeHost;

namespace {
const QString done = QStringLiteral("Done                ");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs a program to its end and gives its standard output.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The first audio stream's codec and the file's duration, as ffprobe reads them.
QPair<QString, double> probe(const QString& path) {
    const QStringList lines =
        run(QStringLiteral("ffprobe"),
            {"-v", "error", "-select_streams", "a:0", "-show_entries",
             "stream=codec_name:format=duration", "-of", "default=noprint_wrappers=1", path})
            .split(QLatin1Char('\n'));
    QPair<QString, double> result{QString(), -1.0};
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("codec_name="))) {
            result.first = line.mid(11);
        } else if (line.startsWith(QStringLiteral("duration="))) {
            result.second = line.mid(9).toDouble();
        }
    }
    return result;
}

// Makes a folder refuse new files, for root too (where permission bits do not bind).
bool makeReadOnly(const QString& folder) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0) {
        return true;
    }
    return QProcess::execute(QStringLiteral("chattr"), {"+i", folder}) == 0;
}

void makeWritable(const QString& folder) {
    if (::geteuid() == 0) {
        QProcess::execute(QStringLiteral("chattr"), {"-i", folder});
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
} // namespace

class TestConvertEndToEnd : public snipora::test::RealProcessFormFixture {
    Q_OBJECT

    QTemporaryDir dir;
    QString source;

    QString path(const QString& name) const { return dir.filePath(name); }

    // Converts the selection 2000..5000 ms of `from` into `target`.
    void convert(const QString& from, const QString& target, const QString& format,
                 const QString& bitrate) {
        form->sourceFile = from;
        form->markStart = 2000;
        form->markEnd = 5000;
        form->Combo1->setCurrentText(format);
        form->Combo2->setCurrentText(bitrate);
        fakes->dialogs.saveAnswers = {target};
        form->Command8_Click();
    }
    QStringList messages() const {
        QStringList texts;
        for (const auto& shown : fakes->messages.shown) {
            texts << shown.text;
        }
        return texts;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        source = path(QStringLiteral("ten seconds.mp3"));
        run(QStringLiteral(SNIPORA_PROGRAM_DIR "/ffmpeg"),
            {"-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=10",
             "-ab", "128k", source});
        QVERIFY(QFileInfo(source).size() > 100000);
    }

    void eachFormatAndBitrate_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QString>("codec");
        const QList<QPair<QString, QString>> formats{
            {"MP3", "mp3"},   {"WAV", "pcm_s16le"}, {"AAC", "aac"}, {"WMA", "wmav2"},
            {"FLAC", "flac"}, {"M4A", "aac"},       {"AC3", "ac3"}};
        for (const auto& [format, codec] : formats) {
            for (const char* bitrate : {"128k", "32k"}) {
                QTest::addRow("%s %s", qPrintable(format), bitrate) << format << bitrate << codec;
            }
        }
    }
    void eachFormatAndBitrate() {
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(QString, codec);
        const QString target =
            path(QStringLiteral("cut %1 %2.%3").arg(format, bitrate, format.toLower()));
        convert(source, target, format, bitrate);
        QCOMPARE(messages(), QStringList{done});
        const auto [foundCodec, duration] = probe(target);
        QCOMPARE(foundCodec, codec);
        QVERIFY2(qAbs(duration - 3.0) <= 0.1, qPrintable(QString::number(duration)));
    }

    // Blanks, quotes, a command substitution and a newline in both paths reach the encoder
    // intact, and nothing in them is run.
    void oddPathsReachTheEncoderIntact() {
        const QString odd = path(QStringLiteral("a \"b\" $(touch pwned) `touch pwned2`\nc"));
        QVERIFY(QDir().mkpath(odd));
        const QString from = odd + QStringLiteral("/in \"put\" $(x).mp3");
        QVERIFY(QFile::copy(source, from));
        const QString target = odd + QStringLiteral("/out $(touch pwned3)\n.mp3");
        convert(from, target, QStringLiteral("MP3"), QStringLiteral("64k"));
        QCOMPARE(messages(), QStringList{done});
        QCOMPARE(probe(target).first, QStringLiteral("mp3"));
        for (const QString& folder : {dir.path(), odd, QDir::currentPath()}) {
            QVERIFY(QDir(folder).entryList({"pwned*"}).isEmpty());
        }
    }

    void failureKeepsTheExistingFile_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no encoder link") << "missing";
        QTest::newRow("encoder exits non-zero") << "exit";
        QTest::newRow("read-only folder") << "read-only";
    }
    void failureKeepsTheExistingFile() {
        QFETCH(QString, failure);
        QTemporaryDir programFolder;
        QTemporaryDir outputFolder;
        const QString target = outputFolder.filePath(QStringLiteral("part.mp3"));
        QVERIFY(test::writeFile(target, "old take"));
        QString expected;
        if (failure == QStringLiteral("missing")) {
            fakes->program.folder = programFolder.path();
            expected = QStringLiteral("Convert Save failed: the encoder %1/ffmpeg was not found.")
                           .arg(programFolder.path());
        } else if (failure == QStringLiteral("exit")) {
            // An encoder that writes part of its output, complains and fails.
            const QString fake = programFolder.filePath(QStringLiteral("ffmpeg"));
            QVERIFY(test::writeFile(fake, "#!/bin/sh\n"
                                          "for last; do :; done\n"
                                          "printf partial > \"$last\"\n"
                                          "echo 'Unknown encoder' >&2\n"
                                          "exit 3\n"));
            QVERIFY(QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            fakes->program.folder = programFolder.path();
            expected = QStringLiteral(
                "Convert Save failed: the encoder ended with exit status 3.\n\nUnknown encoder");
        } else {
            if (!makeReadOnly(outputFolder.path())) {
                makeWritable(outputFolder.path());
                QSKIP("this file system cannot make a folder read-only for this user");
            }
            expected = QStringLiteral("Convert Save failed: the folder of %1 cannot be written to")
                           .arg(target);
        }
        fakes->messages.answers = {MessageAnswer::Yes};
        convert(source, target, QStringLiteral("MP3"), QStringLiteral("128k"));
        makeWritable(outputFolder.path());
        QCOMPARE(messages().size(), 2);
        QVERIFY2(messages()[1].startsWith(expected), qPrintable(messages()[1]));
        QCOMPARE(contents(target), QByteArray("old take"));
        QCOMPARE(QDir(outputFolder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"part.mp3"});
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QVERIFY(form->Command8->isEnabled());
    }
};

SNIPORA_TEST(TestConvertEndToEnd)
#include "tst_convert_e2e.moc"
