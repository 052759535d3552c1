// The About window, its window-menu entry, the window procedure and the credits pre-load.
#include "about/about_controller.h"
#include "about/about_window.h"
#include "about/browser_panel.h"
#include "about/rich_text_box.h"
#include "app/main_window.h"
#include "platform/window_menu.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::ProgramEnded;

namespace {
struct Message {
    std::uint32_t message;
    std::uint32_t wParam;
    std::int32_t lParam;
    bool operator==(const Message&) const = default;
};

QList<AboutWindow*> aboutWindows() {
    QList<AboutWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<AboutWindow*>(widget)) {
            found << about;
        }
    }
    return found;
}

// Lets the windows the user closed go away.
void unloadClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class TestAbout : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<MainWindow> form;
    std::unique_ptr<QTemporaryDir> folder;

    void sendAbout(std::uint32_t id = aboutCommand) {
        form->windowProcedure.send(WM_SYSCOMMAND, id, 0);
    }

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        form = std::make_unique<MainWindow>(fakes->host());
    }
    void cleanup() {
        form.reset();
        unloadClosedWindows();
        QCOMPARE(aboutWindows().size(), 0);
        fakes.reset();
        folder.reset();
    }

    void menuEndsWithSeparatorAndAbout() {
        form->start();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        // Alt+Space opens it whichever control has the focus, and presses no button.
        form->playPauseButton->setFocus();
        QTest::keyClick(form->playPauseButton, Qt::Key_Space, Qt::AltModifier);
        QMenu* menu = form->windowMenu->openMenu();
        QVERIFY(menu);
        QVERIFY(fakes->media.commands.isEmpty());
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
        }
        QCOMPARE(texts, (QStringList{"Minimize", "Maximize", "Close", "---", "About..."}));
        // Choosing it goes through the window procedure to the About window.
        menu->actions().constLast()->trigger();
        QVERIFY(form->about->window());
        QVERIFY(form->about->window()->isVisible());
    }

    void aboutShowsOneWindowAndBringsItBack() {
        form->start();
        // Start-up reads the credits but builds no window; the first one loaded holds them.
        QVERIFY(!form->about->window());
        QPointer<AboutWindow> preloaded = &form->about->loadWindow();
        QVERIFY(!preloaded->isVisible());
        QVERIFY(preloaded->credits->toPlainText().contains("Thanks"));

        sendAbout();
        QCOMPARE(form->about->window(), preloaded);
        QVERIFY(preloaded->isVisible());
        QCOMPARE(preloaded->parentWidget(), nullptr); // no owner: the main window stays usable
        QVERIFY(!preloaded->isModal());

        // Again, while it is open and minimised behind the main window: the same one returns.
        preloaded->showMinimized();
        form->activateWindow();
        sendAbout();
        QCOMPARE(aboutWindows(), QList<AboutWindow*>{preloaded.data()});
        QVERIFY(preloaded->isVisible());
        QVERIFY(!(preloaded->windowState() & Qt::WindowMinimized));
        QTRY_COMPARE(QApplication::activeWindow(), preloaded.data());
    }

    void otherMessagesPassOnUnchanged_data() {
        QTest::addColumn<std::uint32_t>("message");
        QTest::addColumn<std::uint32_t>("wParam");
        QTest::newRow("1011") << WM_SYSCOMMAND << std::uint32_t(1011);
        QTest::newRow("1012") << WM_SYSCOMMAND << std::uint32_t(1012);
        QTest::newRow("1015") << WM_SYSCOMMAND << std::uint32_t(1015);
        QTest::newRow("1010 in the high word") << WM_SYSCOMMAND << std::uint32_t(0x000103F2);
        QTest::newRow("minimize") << WM_SYSCOMMAND << SC_MINIMIZE;
        QTest::newRow("close") << WM_SYSCOMMAND << SC_CLOSE;
        QTest::newRow("1010, not a system command") << std::uint32_t(0x0111) << std::uint32_t(1010);
    }
    void otherMessagesPassOnUnchanged() {
        QFETCH(std::uint32_t, message);
        QFETCH(std::uint32_t, wParam);
        // What stood in the slot before start-up records what is passed on to it.
        QList<Message> passedOn;
        form->windowProcedure.replace([&passedOn](QWidget&, std::uint32_t m, std::uint32_t w,
                                                  std::int32_t l) -> std::int32_t {
            passedOn << Message{m, w, l};
            return 77;
        });
        form->start();
        const QPointer<AboutWindow> preloaded = &form->about->loadWindow();

        QCOMPARE(form->windowProcedure.send(message, wParam, -9), 77);
        QCOMPARE(passedOn, (QList<Message>{{message, wParam, -9}}));
        QVERIFY(!preloaded->isVisible());

        // The About command itself is answered here and not passed on.
        QCOMPARE(form->windowProcedure.send(WM_SYSCOMMAND, 1010, -9), 0);
        QCOMPARE(passedOn.size(), 1);
        QVERIFY(preloaded->isVisible());
    }

    // It opens over the middle of the main window, wherever that is, and Escape closes it.
    void aboutOpensOverTheWindowAndEscapeCloses() {
        form->start();
        form->move(150, 120);
        sendAbout();
        QPointer<AboutWindow> about = form->about->window();
        QVERIFY(about->isVisible());
        const QPoint offset = about->frameGeometry().center() - form->frameGeometry().center();
        // Halving odd sizes rounds: a pixel or two either way.
        QVERIFY2(qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2,
                 qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
        about->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about->credits, Qt::Key_Escape);
        QVERIFY(about->isClosed());
        QVERIFY(form->isVisible());
    }

    void minimiseStillMinimises() {
        form->start();
        QMenu* menu = form->windowMenu->open(form->mapToGlobal(QPoint()));
        menu->actions().constFirst()->trigger();
        QVERIFY(form->windowState() & Qt::WindowMinimized);
        QVERIFY(!form->about->window());
    }

    void aboutWindowLayout() {
        form->start();
        AboutWindow* about = &form->about->loadWindow();
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->size(), QSize(558, 321));
        QCOMPARE(about->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(about->testAttribute(Qt::WA_DeleteOnClose));
        const QList<QSize> sizes = about->windowIcon().availableSizes();
        for (int size : {16, 24, 32, 48}) {
            QVERIFY(sizes.contains(QSize(size, size)));
            // Every pixel as Qt's own reader decodes the file.
            const QImage read(QStringLiteral(":/snipora/icon-%1.png").arg(size), "png");
            QCOMPARE(about->windowIcon().pixmap(QSize(size, size)).toImage(),
                     QPixmap::fromImage(read).toImage());
        }
        const QList<std::tuple<QLabel*, QString, QRect>> labels{
            {about->copyrightLabel, QStringLiteral("\u00A9 2026 The Snipora developers"),
             QRect(270, 225, 2475, 300)},
            {about->versionLabel, QStringLiteral("Version " SNIPORA_VERSION),
             QRect(5340, 225, 2700, 300)},
            {about->encoderLabel,
             "This software basically provides a user interface to a great software FFMPEG "
             "released under GPL.",
             QRect(510, 615, 7170, 300)},
            {about->encoderCreditLabel,
             "It runs the FFmpeg of your system (the Debian package ffmpeg), which is linked "
             "as ffmpeg",
             QRect(495, 1080, 7515, 300)},
            {about->encoderCreditLabel2,
             "in the application directory. FFmpeg is made by the FFmpeg developers.",
             QRect(510, 1320, 7515, 300)}};
        for (const auto& [label, text, twips] : labels) {
            QCOMPARE(label->text(), text);
            QCOMPARE(label->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15,
                                              twips.height() / 15));
            QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::white));
            QCOMPARE(label->font().underline(), label == about->copyrightLabel);
            // Every credit line shows whole.
            QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(text) <= label->width(),
                     qPrintable(text));
        }
        QCOMPARE(about->credits->geometry(), QRect(32, 110, 504, 202));
        QVERIFY(about->credits->isReadOnly());
        QVERIFY(about->credits->focusPolicy() != Qt::NoFocus);
    }

    void missingCreditsEndStartUp() {
        fakes->program.folder = folder->path();
        QTcpServer advertiser;
        QVERIFY(advertiser.listen(QHostAddress::LocalHost));
        fakes->advertisementPage = QUrl(
            QStringLiteral("http://127.0.0.1:%1/info.php?n=snipora").arg(advertiser.serverPort()));
        form = std::make_unique<MainWindow>(fakes->host());
        bool shownFirst = false;
        fakes->messages.onShow = [this, &shownFirst](const QString&) {
            shownFirst = form->isVisible();
        };

        QVERIFY_THROWS_EXCEPTION(ProgramEnded, form->start());
        QCOMPARE(fakes->messages.shown.size(), 1);
        QCOMPARE(fakes->messages.shown[0].text, QStringLiteral("Please re-install Snipora"));
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Warning);
        QVERIFY(shownFirst);
        QCOMPARE(fakes->program.ended, 1);
        QCOMPARE(fakes->media.commands, QList<QByteArray>{"close all"});
        // The panel never asks for the page.
        QTest::qWait(200);
        QVERIFY(!advertiser.hasPendingConnections());
        QCOMPARE(form->webPanel->toPlainText(), QString());
    }

    void closedWindowLoadsAfreshWithoutTheFile() {
        fakes->program.folder = folder->path();
        const QString credits = folder->filePath("thanks.txt");
        QVERIFY(test::writeFile(credits, "Thank you all.\n"));
        form = std::make_unique<MainWindow>(fakes->host());
        form->start();
        // The first window shows what start-up read, even when the file has gone since.
        QVERIFY(QFile::remove(credits));
        sendAbout();
        QPointer<AboutWindow> first = form->about->window();
        QCOMPARE(first->credits->toPlainText(), QStringLiteral("Thank you all.\n"));

        first->close();
        unloadClosedWindows();
        QVERIFY(!first);
        QVERIFY(!form->about->window());

        sendAbout();
        QVERIFY(form->about->window());
        QVERIFY(form->about->window()->isVisible());
        QCOMPARE(form->about->window()->credits->toPlainText(), QString());
        QVERIFY(form->about->window()->copyrightLabel->font().underline());
        QCOMPARE(fakes->messages.shown.size(), 0);
    }

    void aboutRightAfterClosingIsANewWindow() {
        form->start();
        sendAbout();
        QPointer<AboutWindow> closing = form->about->window();
        closing->close();
        // Before the closed window has gone, the next "About..." must not revive it.
        sendAbout();
        QVERIFY(form->about->window() != closing);
        unloadClosedWindows();
        QVERIFY(!closing);
        QVERIFY(form->about->window());
        QVERIFY(form->about->window()->isVisible());
    }

    void creditsFormats_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain UTF-8") << QByteArray("Merci \xc3\xa0 tous\n  {\\b kept}\n")
                                     << QStringLiteral("Merci \u00E0 tous\n  {\\b kept}\n");
        QTest::newRow("plain Latin-1") << QByteArray("caf\xe9") << QStringLiteral("caf\u00E9");
        QTest::newRow("rich text")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                          "{\\colortbl ;\\red255\\green0\\blue0;}\\viewkind4\\uc1\\pard\\f0\\fs20 "
                          "{\\b Thanks}\\par to Fran\\'e7ois \\u8212? and you\\par\r\n}")
            << QStringLiteral("Thanks\nto Fran\u00E7ois \u2014 and you\n");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void creditsFormats() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, shown);
        fakes->program.folder = folder->path();
        QVERIFY(test::writeFile(folder->filePath("thanks.txt"), contents));
        form = std::make_unique<MainWindow>(fakes->host());
        form->start();
        QCOMPARE(form->about->loadWindow().credits->toPlainText(), shown);
        QCOMPARE(fakes->messages.shown.size(), 0);
    }

    void unreadableCreditsEndStartUp() {
        // A folder where the file should be cannot be read as the credits.
        fakes->program.folder = folder->path();
        QVERIFY(QDir(folder->path()).mkdir("thanks.txt"));
        form = std::make_unique<MainWindow>(fakes->host());
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, form->start());
        QCOMPARE(fakes->messages.shown.size(), 1);
    }
};

SNIPORA_TEST(TestAbout)
#include "tst_about.moc"
