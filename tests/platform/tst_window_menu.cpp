// The window menu service: entries in order, how it opens, and the message procedure it feeds.
#include "platform/window_menu.h"
#include "platform/window_procedure.h"
#include "support/test_main.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <memory>

using namespace snipora;

namespace {
struct Message {
    std::uint32_t message;
    std::uint32_t wParam;
    std::int32_t lParam;
    bool operator==(const Message&) const = default;
};

QStringList entries(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return texts;
}

QAction* entry(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}
} // namespace

class TestWindowMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    std::unique_ptr<WindowProcedure> procedure;
    WindowMenu* menu = nullptr;
    QLabel* child = nullptr;
    QList<Message> received;

    // Records what reaches it, then hands the message on to the default procedure.
    WindowProc recorder() {
        return [this](QWidget& target, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam) {
            received << Message{message, wParam, lParam};
            return defaultWindowProc(target, message, wParam, lParam) + 5;
        };
    }

private slots:
    void init() {
        window = std::make_unique<QWidget>();
        window->resize(300, 200);
        child = new QLabel(QStringLiteral("child"), window.get());
        child->setGeometry(100, 100, 80, 30);
        procedure = std::make_unique<WindowProcedure>(*window);
        menu = new WindowMenu(*window, *procedure);
        received.clear();
    }
    void cleanup() {
        procedure.reset();
        window.reset();
    }

    void replaceGivesBackThePreviousProcedure() {
        WindowProc first = procedure->replace(recorder());
        QVERIFY(first);
        QCOMPARE(procedure->send(0x0400, 7, -3), 5);
        QCOMPARE(received, (QList<Message>{{0x0400, 7, -3}}));
        // The one before is the default procedure: it minimises through the chain.
        WindowProc second = procedure->replace(first);
        QVERIFY(second);
        procedure->send(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        QVERIFY(window->windowState() & Qt::WindowMinimized);
        QCOMPARE(received.size(), 1);
        QCOMPARE(callWindowProc(WindowProc(), *window, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    }

    void defaultProcedure_data() {
        QTest::addColumn<std::uint32_t>("before");
        QTest::addColumn<std::uint32_t>("message");
        QTest::addColumn<std::uint32_t>("wParam");
        QTest::addColumn<int>("after");
        const auto normal = std::uint32_t(Qt::WindowNoState);
        const auto minimized = std::uint32_t(Qt::WindowMinimized);
        const auto maximized = std::uint32_t(Qt::WindowMaximized);
        QTest::newRow("minimize") << normal << WM_SYSCOMMAND << SC_MINIMIZE << int(minimized);
        QTest::newRow("minimize, low bits set")
            << normal << WM_SYSCOMMAND << (SC_MINIMIZE | 0xF) << int(minimized);
        QTest::newRow("maximize") << normal << WM_SYSCOMMAND << SC_MAXIMIZE << int(maximized);
        QTest::newRow("restore") << maximized << WM_SYSCOMMAND << SC_RESTORE << int(normal);
        QTest::newRow("unknown command")
            << normal << WM_SYSCOMMAND << std::uint32_t(1010) << int(normal);
        QTest::newRow("other message")
            << normal << std::uint32_t(0x0111) << SC_MINIMIZE << int(normal);
    }
    void defaultProcedure() {
        QFETCH(std::uint32_t, before);
        QFETCH(std::uint32_t, message);
        QFETCH(std::uint32_t, wParam);
        QFETCH(int, after);
        window->setWindowState(Qt::WindowStates(int(before)));
        window->show();
        QCOMPARE(procedure->send(message, wParam, 0), 0);
        QCOMPARE(int(window->windowState()), after);
    }

    void closeCommandCloses() {
        window->show();
        procedure->send(WM_SYSCOMMAND, SC_CLOSE, 0);
        QVERIFY(!window->isVisible());
    }

    void entriesInOrder() {
        QVERIFY(menu->append(MF_SEPARATOR, 0, QString()));
        QVERIFY(menu->append(MF_STRING, 1010, QStringLiteral("About...")));
        QVERIFY(!menu->append(0x0001, 1020, QStringLiteral("Greyed"))); // not a kind it holds
        QMenu* open = menu->open(QPoint(0, 0));
        QCOMPARE(entries(open), (QStringList{"Minimize", "Maximize", "Close", "---", "About..."}));
        QCOMPARE(menu->openMenu(), open);
        QVERIFY(entry(open, "Maximize")->isEnabled());
    }

    void maximizeFollowsTheWindow() {
        window->setFixedSize(300, 200);
        QVERIFY(!entry(menu->open(QPoint()), "Maximize")->isEnabled());
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->showMaximized();
        QMenu* open = menu->open(QPoint());
        QCOMPARE(entries(open), (QStringList{"Minimize", "Restore", "Close"}));
    }

    void choiceDeliversTheSystemCommand() {
        procedure->replace(recorder());
        menu->append(MF_STRING, 1010, QStringLiteral("About..."));
        entry(menu->open(QPoint()), "About...")->trigger();
        entry(menu->open(QPoint()), "Minimize")->trigger();
        QCOMPARE(received,
                 (QList<Message>{{WM_SYSCOMMAND, 1010, 0}, {WM_SYSCOMMAND, SC_MINIMIZE, 0}}));
        QVERIFY(window->windowState() & Qt::WindowMinimized);
    }

    void failingProcedureIsContained() {
        procedure->replace(
            [](QWidget&, std::uint32_t, std::uint32_t, std::int32_t) -> std::int32_t {
                throw std::runtime_error("broken");
            });
        entry(menu->open(QPoint()), "Close")->trigger(); // returns: nothing escapes the menu
        QVERIFY(menu->openMenu() != nullptr);
    }

    void rightClickOnTheSurfaceOpens() {
        window->show();
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                                window->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(window.get(), &click);
        QVERIFY(menu->openMenu() != nullptr);
        QVERIFY(click.isAccepted());
    }

    void rightClickOnAChildDoesNotOpen() {
        window->show();
        // The label does not use right-clicks, so the click travels on to the window.
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                child->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(child, &click);
        QCOMPARE(menu->openMenu(), nullptr);
    }

    void altSpaceOpens() {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Space, Qt::AltModifier);
        QVERIFY(menu->openMenu() != nullptr);
        QCOMPARE(entries(menu->openMenu()).constFirst(), QStringLiteral("Minimize"));
    }
};

SNIPORA_TEST(TestWindowMenu)
#include "tst_window_menu.moc"
