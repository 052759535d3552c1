// The main window as a user meets it, on the host's fakes.
#include "app/main_window.h"
#include "app/mark_trails.h"
#include "app/piece_list_panel.h"
#include "app/position_slider.h"
#include "app/time_field.h"
#include "app/waveform_view.h"
#include "core/cue_sheet.h"
#include "core/mp3_frame_map.h"
#include "core/pieces.h"
#include "core/quiet_snap.h"
#include "core/time_text.h"
#include "platform/qt_host.h"
#include "platform/window_menu.h"
#include "support/files.h"
#include "support/test_main.h"
#include "support/window_fixture.h"
#include "widgets/window_layout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <cstdio>
#include <unistd.h>

using namespace snipora;

namespace {
// The split points and both marks ("-" where a mark is not set), as one text to compare.
QString piecesAndMarks(MainWindow& window) {
    QStringList points;
    for (const std::int64_t point : window.pieces().splitPoints()) {
        points << QString::number(point);
    }
    const CuttingSession& session = window.session();
    return QStringLiteral("points %1; marks %2..%3")
        .arg(points.join(QLatin1Char(',')),
             session.startIsSet() ? QString::number(session.selection().start)
                                  : QStringLiteral("-"),
             session.endIsSet() ? QString::number(session.selection().end) : QStringLiteral("-"));
}

QString encodeTone(const QString& path, int seconds) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-f", "lavfi", "-i", QStringLiteral("sine=d=%1").arg(seconds),
                  "-b:a", "32k", "-y", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 ? path : QString();
}
} // namespace

class TestMainWindow : public test::WindowFixture {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void refusedFileLeavesTheNoFileLook() {
        openPlaying();
        QVERIFY(test::writeFile(dir.filePath(QStringLiteral("song.txt")), "not sound"));
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("song.txt")));
        fakes->media.onCommand = [&](const QByteArray& command) {
            if (command.startsWith("open ")) {
                fakes->media.defaultStatus = 296;
            }
        };
        window->openNamedFile(path);
        QCOMPARE(fakes->messages.shown.constLast().text,
                 QStringLiteral("song.txt cannot be played: it holds no MPEG audio that can be "
                                "decoded."));
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Play"));
        QCOMPARE(window->positionLabel->text(), QStringLiteral("0 : 0 : 0"));
        QCOMPARE(window->session().state(), PlayerState::NoFile);
    }

    // While playing, the position is read as seldom as a second: the time label's precise
    // tooltip is read afresh as it shows.
    void positionTipIsReadAsItShows() {
        openPlaying(3600000, 0);
        fakes->media.setPosition(61234);
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1),
                       window->positionLabel->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(window->positionLabel, &tip);
        QCOMPARE(window->positionLabel->toolTip(), QStringLiteral("1:01.234"));
    }

    // The copy runs beside the window: its menu opens and its timers run meanwhile.
    void windowAnswersDuringDirectSave() {
        const QString source = dir.filePath(QStringLiteral("long.mp3"));
        QProcess encoder;
        encoder.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "sine=d=600",
                                                 "-b:a", "32k", "-y", source});
        QVERIFY(encoder.waitForFinished(60000) && QFileInfo(source).size() > 0);
        fakes->media.setLength(600000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(0);
        window->session().setEnd(600000);
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("cut.mp3")));
        window->directSave();
        QVERIFY(window->isSaving());
        QCOMPARE(window->windowTitle(), QStringLiteral("Saving..."));
        QMenu* menu = window->windowMenu->open(QPoint(10, 10));
        QVERIFY(menu && menu->isVisible());
        QVERIFY(window->isSaving());
        menu->close();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 60000);
        QCOMPARE(fakes->messages.shown.constLast().text,
                 QStringLiteral("Done\n\n") + dir.filePath(QStringLiteral("cut.mp3")));
        QVERIFY(window->directSaveButton->isEnabled());
    }

    void closingDuringASaveAsksFirst() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(2000);
        window->formatList->setCurrentText(QStringLiteral("FLAC"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        fakes->processes.next.neverEnds = true;
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.flac")));
        window->convertSave();
        QVERIFY(window->isSaving());
        fakes->messages.answers.push_back(MessageAnswer::No);
        QVERIFY(!window->close());
        QVERIFY(window->isSaving());
        QCOMPARE(fakes->processes.running(), 1);
    }

    void convertProgressFollowsTheEncoder() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->formatList->setCurrentText(QStringLiteral("MP3"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        fakes->processes.next.neverEnds = true;
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.mp3")));
        window->convertSave();
        QCOMPARE(fakes->dialogs.saveRequests.constLast().fileName,
                 QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks 0.01.000-0.05.000.mp3"));
        // No report yet: the bar steps by itself.
        QTRY_VERIFY(window->saveProgress->value() > 0);
    }

    // The bitrate list follows the format: off for a lossless one, which saves without a
    // bitrate; a bitrate the format's encoder cannot give is not offered.
    void bitrateListFollowsTheFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("offered"); // empty: the list is off
        QTest::addColumn<QString>("bitrate");     // shown once the format is chosen
        QTest::newRow("FLAC: off, 512k kept for later") << "FLAC" << QStringList() << "512k";
        QTest::newRow("MP3: no 512k, so the user picks again")
            << "MP3" << QStringList{"256k", "128k", "64k", "32k"} << "Bitrate";
        QTest::newRow("AC3: every one")
            << "AC3" << QStringList{"512k", "256k", "128k", "64k", "32k"} << "512k";
    }
    void bitrateListFollowsTheFormat() {
        QFETCH(QString, format);
        QFETCH(QStringList, offered);
        QFETCH(QString, bitrate);
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(2000);
        window->bitrateList->setCurrentText(QStringLiteral("512k"));
        window->formatList->setCurrentText(format);
        QCOMPARE(window->bitrateList->isEnabled(), !offered.isEmpty());
        QCOMPARE(window->bitrateList->currentText(), bitrate);
        if (!offered.isEmpty()) {
            QStringList enabled;
            const auto* items = qobject_cast<QStandardItemModel*>(window->bitrateList->model());
            for (int row = 1; row < items->rowCount(); ++row) {
                if (items->item(row)->isEnabled()) {
                    enabled << items->item(row)->text();
                }
            }
            QCOMPARE(enabled, offered);
        }

        fakes->processes.next.neverEnds = true;
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out")));
        window->convertSave();
        if (bitrate == QStringLiteral("Bitrate")) {
            QCOMPARE(fakes->messages.shown.constLast().text,
                     QStringLiteral("Please select output bitrate."));
            QVERIFY(fakes->processes.launches.isEmpty());
            return;
        }
        QCOMPARE(fakes->processes.launches.size(), 1);
        QCOMPARE(fakes->processes.launches.constFirst().arguments.contains(QStringLiteral("-ab")),
                 !offered.isEmpty());
    }

    void convertProgressAndCancel() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->formatList->setCurrentText(QStringLiteral("FLAC"));
        window->bitrateList->setCurrentText(QStringLiteral("512k"));
        fakes->processes.next.neverEnds = true;
        fakes->processes.next.output = "out_time_us=2000000\nprogress=continue\n";
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.flac")));
        window->convertSave();
        // Half of the four seconds written.
        QTRY_COMPARE(window->saveProgress->value(), 50);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fakes->messages.answers.push_back(MessageAnswer::Yes);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!window->isSaving());
        QCOMPARE(fakes->processes.killed.size(), 1);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Convert Save cancelled."));
        QVERIFY(window->convertSaveButton->isEnabled());
        QCOMPARE(window->saveProgress->value(), 0);
        // The encoder's hidden file is gone with it.
        QVERIFY(QDir(dir.path())
                    .entryList({QStringLiteral(".out.*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
    }

    // The save cuts from the file as it was opened, whatever has become of its name since.
    void directSaveCutsWhatWasOpened_data() {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("replaced by a shorter file") << true;
        QTest::newRow("deleted") << false;
    }
    void directSaveCutsWhatWasOpened() {
        QFETCH(bool, replaced);
        const auto encode = [](const QString& path, const char* seconds) {
            QProcess ffmpeg;
            ffmpeg.start(QStringLiteral("ffmpeg"),
                         {"-v", "error", "-f", "lavfi", "-i",
                          QStringLiteral("sine=d=%1").arg(QLatin1String(seconds)), "-b:a", "128k",
                          "-y", path});
            return ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0;
        };
        const QString source = dir.filePath(QStringLiteral("song.mp3"));
        const QString other = dir.filePath(QStringLiteral("other.mp3"));
        QVERIFY(encode(source, "3") && encode(other, "0.4"));
        fakes->media.setLength(3000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(500);
        window->session().setEnd(1500);
        QVERIFY(replaced ? ::rename(QFile::encodeName(other).constData(),
                                    QFile::encodeName(source).constData()) == 0
                         : QFile::remove(source));
        const QString cut = dir.filePath(QStringLiteral("cut %1.mp3").arg(replaced));
        fakes->dialogs.saveAnswers.push_back(cut);
        window->directSave();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 10000);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Done\n\n") + cut);
        QCOMPARE(fakes->messages.shown.constLast().style, MessageStyle::Information);
        QFile output(cut);
        QVERIFY(output.open(QIODevice::ReadOnly));
        const auto map = Mp3FrameMap::scan(output.handle(), nullptr);
        QVERIFY(map);
        QCOMPARE(map->lengthSamples(), std::int64_t{44100});
    }

    // Fades, snapping, Save without selection and Play as cut from the window, on a real file.
    void edgesOfTheCut_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("startMs");
        QTest::addColumn<int>("endMs");
        QTest::addColumn<int>("fadeMs");
        QTest::addColumn<QString>("told"); // found in the last message
        QTest::addColumn<int>("samples");  // of the file written; 0: none written
        QTest::newRow("fades longer than the selection")
            << "save" << 500 << 1500 << 800 << "shortened to 500 ms and 500 ms" << 44100;
        QTest::newRow("without the selection")
            << "remove" << 1000 << 2000 << 0 << "Taking out 0:0" << 2 * 44100;
        QTest::newRow("without the selection and a piece switched off")
            << "remove with a piece off" << 500 << 1000 << 0 << "Taking out 0:0" << 83790;
        QTest::newRow("without the whole file")
            << "remove" << 0 << 3000 << 0 << "cannot be taken out: " << 0;
        QTest::newRow("snapped") << "snap" << 1000 << 2000 << 0 << QString() << 0;
        QTest::newRow("snapped as set") << "snap as set" << 1000 << 2000 << 0 << QString() << 0;
        QTest::newRow("played as cut") << "play" << 2500 << 2900 << 0 << QString() << 0;
    }
    void edgesOfTheCut() {
        QFETCH(QString, action);
        QFETCH(int, startMs);
        QFETCH(int, endMs);
        QFETCH(int, fadeMs);
        QFETCH(QString, told);
        QFETCH(int, samples);
        const QString source = dir.filePath(QStringLiteral("edges.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "sine=d=3",
                                                "-b:a", "128k", "-y", source});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
        fakes->media.setLength(3000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(startMs);
        window->session().setEnd(endMs);
        window->fadeInBox->setValue(fadeMs);
        window->fadeOutBox->setValue(fadeMs);
        const QString cut = dir.filePath(QStringLiteral("%1.mp3").arg(QTest::currentDataTag()));
        fakes->dialogs.saveAnswers.push_back(cut);
        fakes->messages.answers.push_back(MessageAnswer::Yes);
        fakes->media.commands.clear();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (action == QStringLiteral("save")) {
            QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        } else if (action.startsWith(QStringLiteral("remove"))) {
            if (action.endsWith(QStringLiteral("piece off"))) {
                window->session().setStart(2000);
                window->session().setEnd(2600);
                window->splitAtMarks();
                emit window->pieceListPanel()->switched(1, false);
                window->session().setStart(startMs);
                window->session().setEnd(endMs);
            }
            QTest::keyClick(window.get(), Qt::Key_Delete, Qt::ControlModifier);
        } else if (action == QStringLiteral("snap")) {
            QTest::keyClick(window.get(), Qt::Key_Q);
            QTRY_COMPARE(window->markTrails->trails().size(), 2u);
            const Selection snapped = window->session().selection();
            QVERIFY(std::abs(snapped.start - startMs) <= 250);
            QVERIFY(std::abs(snapped.end - endMs) <= 250);
            QCOMPARE(window->markTrails->trails().front().toMs, snapped.start);
            // Moving a mark again ends the trails.
            window->session().setEnd(endMs);
            QVERIFY(window->markTrails->trails().empty());
        } else if (action == QStringLiteral("snap as set")) {
            // Both marks set at once: each goes where the quiet near it is.
            window->snapOption->setChecked(true);
            fakes->media.setPosition(startMs);
            QTest::keyClick(window.get(), Qt::Key_I);
            fakes->media.setPosition(endMs);
            QTest::keyClick(window.get(), Qt::Key_O);
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QString error;
            const auto expected = snapToQuiet(file.handle(), {startMs, endMs}, false, &error);
            QVERIFY2(expected, qPrintable(error));
            QTRY_COMPARE(window->session().selection(),
                         (Selection{expected->at(0).ms, expected->at(1).ms}));
        } else {
            QTest::keyClick(window.get(), Qt::Key_J);
            QVERIFY(fakes->media.commands.contains("play movie from 500 skip 2500 to 2900"));
            QVERIFY(window->session().isPreviewing());
        }
        // The save, or the reading of the frame edges before it, tells its end.
        if (!told.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(!fakes->messages.shown.isEmpty() &&
                                         fakes->messages.shown.constLast().text.contains(told),
                                     10000);
        }
        QVERIFY(!window->isSaving());
        QCOMPARE(QFileInfo::exists(cut), samples > 0);
        if (samples == 0) {
            return;
        }
        QFile output(cut);
        QVERIFY(output.open(QIODevice::ReadOnly));
        const auto map = Mp3FrameMap::scan(output.handle(), nullptr);
        QVERIFY(map);
        if (action.startsWith(QStringLiteral("remove"))) {
            // Within a frame a section of what was asked, and exactly what the question showed.
            QVERIFY(std::abs(map->lengthSamples() - samples) <= 1152 * 2);
            const QString question = fakes->messages.shown.front().text;
            QRegularExpressionMatchIterator shown =
                QRegularExpression(QStringLiteral("(\\d+:[\\d.]+) to (\\d+:[\\d.]+)"))
                    .globalMatch(question.left(question.indexOf(QStringLiteral(" and save"))));
            std::int64_t takenMs = 0;
            while (shown.hasNext()) {
                const QRegularExpressionMatch span = shown.next();
                const auto from = parseTime(span.captured(1));
                const auto to = parseTime(span.captured(2));
                QVERIFY(from && to);
                takenMs += *to - *from;
            }
            QVERIFY(takenMs > 0);
            QVERIFY(std::abs(map->lengthSamples() - (132300 - takenMs * 441 / 10)) <= 45);
        } else {
            QCOMPARE(map->lengthSamples(), std::int64_t{samples});
        }
    }

    // A dark desktop theme leaves every text of the window readable, enabled or not.
    void textReadsOnADarkTheme() {
        const QPalette before = QApplication::palette();
        QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        QApplication::setPalette(dark);
        MainWindow themed(fakes->host());
        QApplication::setPalette(before);
        for (QWidget* widget : themed.findChildren<QWidget*>()) {
            const QPalette& p = widget->palette();
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Disabled}) {
                const QList<std::pair<QPalette::ColorRole, QPalette::ColorRole>> pairs{
                    {QPalette::WindowText, QPalette::Window},
                    {QPalette::ButtonText, QPalette::Button},
                    {QPalette::Text, QPalette::Base}};
                for (const auto& [text, background] : pairs) {
                    if (widget == themed.displayPanel ||
                        themed.displayPanel->isAncestorOf(widget)) {
                        continue; // black, with the waveform's own fixed colours (tested there)
                    }
                    const double ratio =
                        contrastRatio(p.color(group, text), p.color(group, background));
                    QVERIFY2(ratio >= 4.5,
                             qPrintable(
                                 QStringLiteral("%1: %2:1").arg(widget->objectName()).arg(ratio)));
                }
            }
        }
    }

    void keysMarkAndNudgeWhilePaused() {
        openPlaying(60000, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->windowTitle(), QStringLiteral("thanks.txt - Snipora"));
        QTest::keyClick(window.get(), Qt::Key_Space);
        QCOMPARE(window->session().state(), PlayerState::Paused);
        fakes->media.setPosition(2000);
        QTest::keyClick(window.get(), Qt::Key_I);
        fakes->media.setPosition(4000);
        QTest::keyClick(window.get(), Qt::Key_O);
        QCOMPARE(window->session().selection(), (Selection{2000, 4000}));
        // One MPEG frame later: 1152 samples at 44,100 Hz.
        QTest::keyClick(window.get(), Qt::Key_Period);
        QCOMPARE(window->session().selection().end, 4026);
        QTest::keyClick(window.get(), Qt::Key_Comma);
        QCOMPARE(window->session().selection().end, 4000);
        QCOMPARE(window->endLabel->toolTip(), QStringLiteral("0:04.000"));
    }

    // Each action that needs a selection says which step is missing; only a selection that is
    // there and wrong is the classic refusal, with the warning icon.
    void aSelectionNeedsAFileAndBothMarks_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("start"); // -1: not set
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("message"); // empty: the action goes ahead
        QTest::addColumn<bool>("warning");
        const QString invalid =
            QStringLiteral("Start time cannot be >= End time. Invalid Selection");
        QTest::newRow("no file") << false << -1 << -1 << "Open an MP3 file first (Ctrl+O)" << false;
        QTest::newRow("no marks") << true << -1 << -1 << "Set the start mark first (I)" << false;
        QTest::newRow("start only") << true << 1000 << -1 << "Set the end mark first (O)" << false;
        QTest::newRow("end only: from the file's start")
            << true << -1 << 2000 << QString() << false;
        QTest::newRow("inverted") << true << 3000 << 2000 << invalid << true;
        QTest::newRow("empty") << true << 2000 << 2000 << invalid << true;
    }
    void aSelectionNeedsAFileAndBothMarks() {
        QFETCH(bool, open);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, message);
        QFETCH(bool, warning);
        if (open) {
            openPlaying();
        }
        if (start >= 0) {
            window->session().setStart(start);
        }
        if (end >= 0) {
            window->session().setEnd(end);
        }
        window->formatList->setCurrentText(QStringLiteral("MP3"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        const qsizetype sent = fakes->media.commands.size();
        window->playSelection();
        window->directSave();
        window->convertSave();
        if (message.isEmpty()) {
            QVERIFY(fakes->messages.shown.isEmpty());
            QVERIFY(fakes->media.commands.mid(sent).contains("play movie from 0"));
            QCOMPARE(fakes->dialogs.saveRequests.size(), 2);
            return;
        }
        QCOMPARE(fakes->messages.shown.size(), 3);
        for (const test::ShownMessage& shown : fakes->messages.shown) {
            QCOMPARE(shown.text, message);
            QCOMPARE(shown.style, warning ? MessageStyle::Warning : MessageStyle::Information);
        }
        QCOMPARE(fakes->media.commands.size(), sent);
        QVERIFY(fakes->dialogs.saveRequests.isEmpty());
    }

    // However a Convert Save ends, the cursor is where the user left it, the bar is idle before
    // the message shows, and a failure names the file with the warning icon.
    void aSaveEndsWhereItBegan_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message"); // %1: the target
        QTest::addColumn<bool>("warning");
        QTest::newRow("fails") << false
                               << "Convert Save failed: the encoder ended with exit status 1.\n\n"
                                  "no codec\n\n%1"
                               << true;
        QTest::newRow("cancelled") << true << "Convert Save cancelled." << false;
    }
    void aSaveEndsWhereItBegan() {
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        QFETCH(bool, warning);
        openPlaying(60000, 30000);
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->session().seekTo(30000);
        QCOMPARE(window->positionSlider->value(), 30);
        const QString cursorText = window->positionLabel->text();
        window->formatList->setCurrentText(QStringLiteral("MP3"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        fakes->processes.next.neverEnds = cancel;
        fakes->processes.next.exitCode = 1;
        fakes->processes.next.errorLine = QStringLiteral("no codec");
        const QString target = dir.filePath(QStringLiteral("out.mp3"));
        fakes->dialogs.saveAnswers.push_back(target);
        bool barIdleAtMessage = false;
        fakes->messages.onShow = [&](const QString&) {
            barIdleAtMessage =
                window->saveProgress->value() == 0 && !window->saveProgress->isTextVisible();
        };
        window->convertSave();
        QVERIFY(window->isSaving());
        // As the encoder's reports leave it mid-save.
        window->saveProgress->setFormat(QStringLiteral("%p%  (3 s left)"));
        window->saveProgress->setTextVisible(true);
        if (cancel) {
            fakes->messages.answers.push_back(MessageAnswer::Yes);
            QVERIFY(window->cancelSave());
        }
        QTRY_VERIFY(!window->isSaving());
        const test::ShownMessage& shown = fakes->messages.shown.constLast();
        QCOMPARE(shown.text, message.arg(target));
        QCOMPARE(shown.style, warning ? MessageStyle::Warning : MessageStyle::Information);
        QVERIFY(barIdleAtMessage);
        QCOMPARE(window->saveProgress->format(), QStringLiteral("%p%"));
        QVERIFY(!fakes->media.commands.contains("stop movie"));
        QCOMPARE(window->positionSlider->value(), 30);
        QCOMPARE(window->positionLabel->text(), cursorText);
        QCOMPARE(window->session().state(), PlayerState::Paused);
    }

    // The suggestion keeps the time range and the extension whole and cuts the source's name, at
    // a whole character, so that the file system takes it.
    void suggestedNameFitsTheFileSystem_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("kept");
        const QString clef = QStringLiteral("\U0001D11E"); // four bytes, two UTF-16 units
        QTest::newRow("short") << "song"
                               << "song";
        QTest::newRow("240 letters") << QString(240, u'a') << QString(233, u'a');
        QTest::newRow("two-byte letters") << QString(120, u'\u00E9') << QString(116, u'\u00E9');
        QTest::newRow("four-byte letters") << clef.repeated(60) << clef.repeated(58);
    }
    void suggestedNameFitsTheFileSystem() {
        QFETCH(QString, base);
        QFETCH(QString, kept);
        const QString source = dir.filePath(base + QStringLiteral(".mp3"));
        QVERIFY(test::writeFile(source, "x"));
        fakes->media.setLength(60000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->directSave(); // the dialog is cancelled
        const QString suggested = fakes->dialogs.saveRequests.constLast().fileName;
        QCOMPARE(suggested, dir.filePath(kept + QStringLiteral(" 0.01.000-0.05.000.mp3")));
        QVERIFY(QFileInfo(suggested).fileName().toUtf8().size() <= 255);
    }

    // The folders last used, the format and the bitrate come back in the next run; the dialogs
    // show each filter's patterns once; the overwrite question names the file.
    void choicesComeBackInTheNextRun() {
        const QString songs = dir.filePath(QStringLiteral("songs"));
        const QString cuts = dir.filePath(QStringLiteral("cuts"));
        QVERIFY(QDir().mkpath(songs) && QDir().mkpath(cuts));
        const QString song = songs + QStringLiteral("/a.mp3");
        const QString cut = cuts + QStringLiteral("/b.mp3");
        QVERIFY(test::writeFile(song, "x") && test::writeFile(cut, "old"));
        fakes->media.setLength(60000);
        fakes->media.setMode("playing");
        window->openFile();
        QCOMPARE(fakes->dialogs.openRequests.constLast().folder, QString());
        fakes->dialogs.openAnswers.push_back(song);
        window->openFile();
        QCOMPARE(window->session().sourceName(), song);
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->formatList->setCurrentText(QStringLiteral("MP3"));
        window->bitrateList->setCurrentText(QStringLiteral("256k"));
        window->fadeInBox->setValue(40);
        window->fadeOutBox->setValue(1500);
        window->snapOption->setChecked(true);
        fakes->dialogs.saveAnswers.push_back(cut);
        fakes->messages.answers.push_back(MessageAnswer::No);
        window->convertSave();
        QCOMPARE(fakes->messages.shown.constLast().text,
                 cut + QStringLiteral(" already exists.\n\nDo you want to overwrite the existing "
                                      "file?"));
        QVERIFY(fakes->processes.launches.isEmpty());

        // The next run.
        window = std::make_unique<MainWindow>(fakes->host());
        window->start();
        QCOMPARE(window->formatList->currentText(), QStringLiteral("MP3"));
        QCOMPARE(window->bitrateList->currentText(), QStringLiteral("256k"));
        QCOMPARE(window->fadeInBox->value(), 40);
        QCOMPARE(window->fadeOutBox->value(), 1500);
        QVERIFY(window->snapOption->isChecked());
        window->openFile();
        const FileDialogRequest& open = fakes->dialogs.openRequests.constLast();
        QCOMPARE(open.folder, songs);
        QCOMPARE(toQtFilter(open.filter, nullptr, 1),
                 QStringLiteral("MP3 Files (*.mp3);;All Files (*.*)"));
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->directSave();
        QCOMPARE(fakes->dialogs.saveRequests.constLast().fileName,
                 cuts + QStringLiteral("/thanks 0.01.000-0.05.000.mp3"));
    }

    // On a focused button Enter and Return press it and Space plays or pauses, as every button's
    // tooltip says; the button the keyboard moved to is ringed in the highlight colour.
    void keysOnAFocusedButton() {
        openPlaying();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->stopButton->setFocus(Qt::TabFocusReason);
        QTest::keyClick(window->stopButton, Qt::Key_Return);
        QCOMPARE(window->session().state(), PlayerState::Stopped);
        // Tab, as a user moves there.
        window->markEndButton->setFocus();
        QTest::keyClick(window->markEndButton, Qt::Key_Tab);
        QVERIFY(window->websiteButton->hasFocus());
        const QColor highlight = window->palette().color(QPalette::Highlight);
        const auto edge = [](QWidget* widget) {
            return widget->grab().toImage().pixelColor(1, widget->height() / 2);
        };
        QCOMPARE(edge(window->websiteButton), highlight);
        QVERIFY(edge(window->openButton) != highlight);
        QTest::keyClick(window->websiteButton, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(fakes->links.opened.size(), 1);
        QTest::keyClick(window->websiteButton, Qt::Key_Space);
        QCOMPARE(fakes->links.opened.size(), 1);
        QCOMPARE(window->session().state(), PlayerState::Playing);
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (button->window() != window.get()) {
                continue; // the list of pieces is a window of its own, with keys of its own
            }
            QVERIFY2(button->toolTip().contains("Enter presses this button; Space plays or pauses"),
                     qPrintable(button->objectName()));
        }
    }

    // Ctrl+G moves the cursor to a typed time; a double click on a mark's label types that
    // mark's time and makes it the active one. Bad text gets a word and changes nothing.
    void typedTimesMoveTheCursorOrAMark_data() {
        QTest::addColumn<QString>("target"); // "go to", "start", "end"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("cursor");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QString>("problem");
        QTest::newRow("go to") << "go to"
                               << "0:42.125" << qint64(42125) << qint64(2000) << qint64(4000) << "";
        QTest::newRow("go to, rounded")
            << "go to"
            << "1.0005" << qint64(1001) << qint64(2000) << qint64(4000) << "";
        QTest::newRow("start") << "start"
                               << "1.005" << qint64(0) << qint64(1005) << qint64(4000) << "";
        QTest::newRow("end") << "end"
                             << "0:50" << qint64(0) << qint64(2000) << qint64(50000) << "";
        QTest::newRow("not a time") << "end"
                                    << "1:75" << qint64(0) << qint64(2000) << qint64(4000)
                                    << "Not a time: type m:ss.mmm or seconds";
        QTest::newRow("past the end")
            << "go to"
            << "2:00" << qint64(0) << qint64(2000) << qint64(4000) << "Past the end (1:00.000)";
    }
    void typedTimesMoveTheCursorOrAMark() {
        QFETCH(QString, target);
        QFETCH(QString, typed);
        QFETCH(qint64, cursor);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(QString, problem);
        openPlaying(60000, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->session().setStart(2000);
        window->session().setEnd(4000);
        if (target == QStringLiteral("go to")) {
            QTest::keyClick(window.get(), Qt::Key_G, Qt::ControlModifier);
        } else {
            QTest::mouseDClick(target == QStringLiteral("start") ? window->startLabel
                                                                 : window->endLabel,
                               Qt::LeftButton);
            QCOMPARE(window->session().activeMark(),
                     target == QStringLiteral("start") ? Mark::Start : Mark::End);
        }
        QVERIFY(window->timeField()->isVisible());
        QLineEdit* edit = window->timeField()->edit();
        edit->selectAll();
        fakes->media.commands.clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(window->timeField()->problem(), problem);
        QCOMPARE(window->timeField()->isVisible(), !problem.isEmpty());
        QCOMPARE(window->session().selection(), (Selection{start, end}));
        // Playing, the cursor moves by playing on from the typed time.
        const QByteArray seek = "play movie from " + QByteArray::number(cursor);
        QCOMPARE(fakes->media.commands.contains(seek), cursor != 0);
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!window->timeField()->isVisible());
    }

    // The zoom keys act on the waveform around the cursor; F6, F7 and L play from the marks.
    void zoomAndEdgeKeys() {
        openPlaying(3600000, 1800000);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Space);
        window->session().setStart(1800000);
        window->session().setEnd(1805000);
        WaveformView* view = window->waveformView;
        const double whole = view->viewSpanMs();
        QTest::keyClick(window.get(), Qt::Key_Plus);
        QCOMPARE(view->viewSpanMs(), whole / 2);
        QTest::keyClick(window.get(), Qt::Key_Minus);
        QCOMPARE(view->viewSpanMs(), whole);
        QTest::keyClick(window.get(), Qt::Key_Z);
        QVERIFY(view->viewFromMs() < 1800000 && view->viewFromMs() + view->viewSpanMs() > 1805000);
        QVERIFY(view->viewSpanMs() < 6000);
        QTest::keyClick(window.get(), Qt::Key_0);
        QVERIFY(!view->isZoomed());
        const QList<std::pair<Qt::Key, QByteArray>> plays{{Qt::Key_F6, "from 1800000"},
                                                          {Qt::Key_F7, "from 1803000"},
                                                          {Qt::Key_L, "from 1800000"}};
        for (const auto& [key, from] : plays) {
            fakes->media.commands.clear();
            QTest::keyClick(window.get(), key);
            QVERIFY2(fakes->media.commands.contains("play movie " + from),
                     qPrintable(fakes->media.commands.join(' ')));
        }
        QVERIFY(window->session().isLooping());
    }

    // Every edit of the marks or the split points is one undo step, a drag included; Ctrl+Y and
    // Ctrl+Shift+Z both redo it.
    void undoAndRedoOneStepEach_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("after");
        QTest::newRow("split point at the cursor")
            << QStringLiteral("S") << QStringLiteral("points 20000,40000; marks 10000..50000");
        QTest::newRow("start mark at the cursor")
            << QStringLiteral("I") << QStringLiteral("points 40000; marks 20000..50000");
        QTest::newRow("nudge of the active mark")
            << QStringLiteral(".") << QStringLiteral("points 40000; marks 10000..50026");
        QTest::newRow("split at marks") << QStringLiteral("Shift+S")
                                        << QStringLiteral("points 10000,40000,50000; marks "
                                                          "10000..50000");
        QTest::newRow("the split point nearest the cursor removed")
            << QStringLiteral("Del") << QStringLiteral("points ; marks 10000..50000");
        QTest::newRow("split every typed time")
            << QStringLiteral("every 0:15")
            << QStringLiteral("points 15000,30000,45000; marks 10000..50000");
        QTest::newRow("a piece clicked in the list")
            << QStringLiteral("list 1") << QStringLiteral("points 40000; marks 40000..60000");
        QTest::newRow("drag of a split point")
            << QStringLiteral("drag") << QStringLiteral("points %1; marks 10000..50000");
    }
    void undoAndRedoOneStepEach() {
        QFETCH(QString, action);
        QFETCH(QString, after);
        openPlaying(60000, 10000);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Space); // paused, the cursor stays put
        QTest::keyClick(window.get(), Qt::Key_I);
        fakes->media.setPosition(50000);
        QTest::keyClick(window.get(), Qt::Key_O);
        fakes->media.setPosition(40000);
        QTest::keyClick(window.get(), Qt::Key_S);
        fakes->media.setPosition(20000);
        const QString before = piecesAndMarks(*window);
        QCOMPARE(before, QStringLiteral("points 40000; marks 10000..50000"));
        QCOMPARE(window->undoStack->count(), 3);
        QCOMPARE(window->pieceListPanel()->isHidden(), false);
        const int steps = window->undoStack->count();
        if (action == QStringLiteral("drag")) {
            WaveformView* view = window->waveformView;
            const int x = view->xForMs(40000);
            const int y = view->height() - 12 - 2 - view->fontMetrics().height() / 2;
            QTest::mousePress(view, Qt::LeftButton, {}, QPoint(x, y));
            QTest::mouseMove(view, QPoint(x - 10, y));
            QTest::mouseMove(view, QPoint(x - 20, y));
            QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(x - 30, y));
            after = after.arg(view->msAtX(x - 30));
        } else if (action.startsWith(QStringLiteral("list "))) {
            QTableWidget* table = window->pieceListPanel()->table;
            const QRect cell = table->visualItemRect(
                table->item(action.mid(5).toInt(), PieceListPanel::StartColumn));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        } else if (action.startsWith(QStringLiteral("every "))) {
            window->splitEvery();
            window->timeField()->edit()->setText(action.mid(6));
            QTest::keyClick(window->timeField()->edit(), Qt::Key_Return);
        } else {
            QTest::keySequence(window.get(), QKeySequence(action));
        }
        QCOMPARE(piecesAndMarks(*window), after);
        QCOMPARE(window->undoStack->count(), steps + 1);
        QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QCOMPARE(piecesAndMarks(*window), before);
        QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Y")));
        QCOMPARE(piecesAndMarks(*window), after);
        QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
        QCOMPARE(piecesAndMarks(*window), after);
        // With one piece left the list goes away.
        QCOMPARE(window->pieceListPanel()->isHidden(), window->pieces().pieceCount() == 1);
    }

    // A cue sheet dropped on the window fills the list of pieces; one for another file is used
    // only when the user says so, and a bad one is named and changes nothing.
    void droppedCueSheetFillsThePieces_data() {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("message");
        const QByteArray tracks = "  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    INDEX 01 00:00:00\n"
                                  "  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 00:10:00\n"
                                  "  TRACK 03 AUDIO\n    TITLE \"Outro\"\n    INDEX 01 00:50:00\n";
        const QStringList none{QString()};
        QTest::newRow("for the open file") << "FILE \"thanks.txt\" MP3\n" + tracks << false
                                           << QStringList{"Intro", "Song", "Outro"} << QString();
        QTest::newRow("for another file, used")
            << "FILE \"album.wav\" WAVE\n" + tracks << true << QStringList{"Intro", "Song", "Outro"}
            << QStringLiteral("The cue sheet album.cue is for album.wav, not for the open file "
                              "thanks.txt.\n\nUse its tracks for thanks.txt?");
        QTest::newRow("for another file, refused")
            << "FILE \"album.wav\" WAVE\n" + tracks << false << none
            << QStringLiteral("The cue sheet album.cue is for album.wav, not for the open file "
                              "thanks.txt.\n\nUse its tracks for thanks.txt?");
        QTest::newRow("past the end")
            << "FILE \"thanks.txt\" MP3\n" + tracks + "  TRACK 04 AUDIO\n    INDEX 01 02:00:00\n"
            << false << none
            << QStringLiteral("The cue sheet album.cue cannot be used: track 4 starts at "
                              "2:00.000, past the end of the file (1:00.000)");
        QTest::newRow("not a cue sheet") << QByteArray("FILE") << false << none
                                         << QStringLiteral("The cue sheet album.cue cannot be "
                                                           "used: libcue cannot read it");
    }
    void droppedCueSheetFillsThePieces() {
        QFETCH(QByteArray, sheet);
        QFETCH(bool, agree);
        QFETCH(QStringList, titles);
        QFETCH(QString, message);
        openPlaying(60000, 0);
        const QString path = dir.filePath(QStringLiteral("album.cue"));
        QVERIFY(test::writeFile(path, sheet));
        fakes->messages.answers.push_back(agree ? MessageAnswer::Yes : MessageAnswer::No);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        // Qt sends the drop to the widget that took the drag when it came in.
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        // The sheet is read from the event loop, after the drop is answered.
        QTRY_VERIFY(message.isEmpty() ? window->pieceListPanel()->table->rowCount() > 1
                                      : !fakes->messages.shown.isEmpty());
        QCOMPARE(window->pieceListPanel()->table->rowCount(), titles.size());
        for (int row = 0; row < titles.size(); ++row) {
            QCOMPARE(
                window->pieceListPanel()->table->item(row, PieceListPanel::TitleColumn)->text(),
                titles[row]);
        }
        QCOMPARE(fakes->messages.shown.isEmpty() ? QString() : fakes->messages.shown.last().text,
                 message);
        QCOMPARE(window->session().sourcePath(),
                 QFile::encodeName(QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks.txt")));
        // Written back, the sheet reads as the same tracks of the open file.
        const QString written = dir.filePath(QStringLiteral("written.cue"));
        QFile::remove(written);
        fakes->dialogs.saveAnswers.push_back(written);
        window->writeCueSheet();
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString problem;
        const std::optional<CueSheet> back = parseCueSheet(file.readAll(), &problem);
        QVERIFY2(back, qPrintable(problem));
        QCOMPARE(QFileInfo(dir.filePath(back->file)).canonicalFilePath(),
                 QFileInfo(QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks.txt")).canonicalFilePath());
        QCOMPARE(back->tracks.size(), std::size_t(titles.size()));
        for (int i = 0; i < titles.size(); ++i) {
            QCOMPARE(back->tracks[std::size_t(i)].title, titles[i]);
            QCOMPARE(back->tracks[std::size_t(i)].startMs,
                     window->pieces().pieces()[std::size_t(i)].startMs);
        }
    }

    // Save all writes the pieces that are on under the pattern's names; a Cancel leaves nothing
    // of the piece under way, not even its hidden file; an existing file is replaced only on Yes.
    void saveAllWritesThePiecesThatAreOn_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QString>("message");
        const QStringList both{"01 Intro.mp3", "02 Piece 2.mp3"};
        QTest::newRow("all through") << "through" << both << "Done: 2 pieces saved";
        QTest::newRow("cancelled") << "cancel" << QStringList{}
                                   << "Save all stopped: piece 1 (01 Intro.mp3) was stopped; no "
                                      "piece was written";
        QTest::newRow("an existing file kept")
            << "keep" << QStringList{"01 Intro.mp3"}
            << "01 Intro.mp3 already exists in %1.\n\nDo you want to overwrite the existing files?";
        QTest::newRow("an existing file replaced") << "replace" << both << "Done: 2 pieces saved";
    }
    void saveAllWritesThePiecesThatAreOn() {
        QFETCH(QString, mode);
        QFETCH(QStringList, written);
        QFETCH(QString, message);
        const QString source = encodeTone(dir.filePath(QStringLiteral("long.mp3")), 300);
        QVERIFY(!source.isEmpty());
        QTemporaryDir out;
        message.replace(QStringLiteral("%1"), out.path());
        const QString existing = QDir(out.path()).filePath(QStringLiteral("01 Intro.mp3"));
        if (mode == QStringLiteral("keep") || mode == QStringLiteral("replace")) {
            QVERIFY(test::writeFile(existing, "old"));
            fakes->messages.answers.push_back(mode == QStringLiteral("keep") ? MessageAnswer::No
                                                                             : MessageAnswer::Yes);
        }
        fakes->media.setLength(300000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        for (const int ms : {100000, 200000}) {
            fakes->media.setPosition(ms);
            window->addSplitPoint();
        }
        QTableWidget* table = window->pieceListPanel()->table;
        QCOMPARE(table->rowCount(), 3);
        table->item(0, PieceListPanel::TitleColumn)->setText(QStringLiteral("Intro"));
        table->item(1, PieceListPanel::OnColumn)->setCheckState(Qt::Unchecked);
        QCOMPARE(window->pieces().pieces()[1].enabled, false);
        window->pieceListPanel()->setNamePattern(QStringLiteral("%n %t"));
        fakes->dialogs.folderAnswers.push_back(out.path());
        window->saveAllPieces();
        QCOMPARE(window->isSaving(), mode != QStringLiteral("keep"));
        if (mode == QStringLiteral("cancel")) {
            QCOMPARE(window->pieceListPanel()->saveAllButton->text(), QStringLiteral("Cancel"));
            fakes->messages.answers.push_back(MessageAnswer::Yes);
            window->pieceListPanel()->saveAllButton->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 60000);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
        QVERIFY2(fakes->messages.shown.constLast().text.startsWith(message),
                 qPrintable(fakes->messages.shown.constLast().text));
        QCOMPARE(QFileInfo(existing).size() == 3, mode == QStringLiteral("keep"));
        QVERIFY(window->directSaveButton->isEnabled());
        QCOMPARE(window->pieceListPanel()->saveAllButton->text(), QStringLiteral("Save all..."));
    }

    // Three tones with a second of silence between them: a split in the middle of each pause,
    // found off the window's thread, in one undo step.
    void splitAtPausesFindsTheSilences() {
        const QString source = dir.filePath(QStringLiteral("tones.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=1", "-f", "lavfi", "-i",
                      "anullsrc=r=44100:cl=mono:d=1", "-filter_complex",
                      "[0][1][0][1][0]concat=n=5:v=0:a=1", "-b:a", "64k", "-y", source});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        fakes->media.setLength(5000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->splitAtPauses();
        QTRY_VERIFY_WITH_TIMEOUT(window->pieces().pieceCount() > 1, 30000);
        const std::vector<std::int64_t> points = window->pieces().splitPoints();
        QCOMPARE(points.size(), 2u);
        QVERIFY2(std::abs(points[0] - 1500) <= 10 && std::abs(points[1] - 3500) <= 10,
                 qPrintable(QStringLiteral("%1, %2").arg(points[0]).arg(points[1])));
        QCOMPARE(window->undoStack->count(), 1);
        window->undoStack->undo();
        QCOMPARE(window->pieces().pieceCount(), 1u);
    }

    void websiteWithoutOpenerGivesTheAddress() {
        fakes->links.fails = true;
        window->websiteButton->click();
        QCOMPARE(fakes->links.opened.size(), 1);
        QVERIFY(fakes->messages.shown.constLast().text.contains(
            fakes->links.opened.constFirst().toString()));
    }
};

SNIPORA_TEST(TestMainWindow)
#include "tst_main_window.moc"
