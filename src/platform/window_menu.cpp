// The main window's own window menu and the ways it opens.
#include "platform/window_menu.h"

#include "platform/window_procedure.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

namespace snipora {

WindowMenu::WindowMenu(QWidget& window, WindowProcedure& procedure)
    : QObject(&window), window_(window), procedure_(procedure) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), &window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this,
            [this] { open(window_.mapToGlobal(QPoint(0, 0))); });
    window.installEventFilter(this);
}

bool WindowMenu::append(std::uint32_t flags, std::uint32_t id, const QString& text) {
    if (flags == MF_SEPARATOR) {
        appended_ << Entry{true, 0, QString()};
        return true;
    }
    if (flags == MF_STRING) {
        appended_ << Entry{false, id, text};
        return true;
    }
    return false;
}

QMenu* WindowMenu::open(const QPoint& globalPosition) {
    if (menu_) {
        menu_->close();
        menu_->deleteLater();
    }
    auto* menu = new QMenu(&window_);
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    auto add = [this, menu](const QString& text, std::uint32_t id, bool enabled) {
        QAction* action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, id] { choose(id); });
    };
    const Qt::WindowStates state = window_.windowState();
    const bool fixedSize = window_.minimumSize() == window_.maximumSize();
    add(QStringLiteral("Minimize"), SC_MINIMIZE, !(state & Qt::WindowMinimized));
    if (state & (Qt::WindowMaximized | Qt::WindowMinimized)) {
        add(QStringLiteral("Restore"), SC_RESTORE, true);
    } else {
        // A window of fixed size has nothing to grow into.
        add(QStringLiteral("Maximize"), SC_MAXIMIZE, !fixedSize);
    }
    add(QStringLiteral("Close"), SC_CLOSE, true);
    for (const Entry& entry : appended_) {
        if (entry.separator) {
            menu->addSeparator();
        } else {
            add(entry.text, entry.id, true);
        }
    }
    menu_ = menu;
    menu->popup(globalPosition);
    return menu;
}

void WindowMenu::choose(std::uint32_t id) {
    // A procedure that fails leaves the window as it was; the end of the program passes through.
    try {
        procedure_.send(WM_SYSCOMMAND, id, 0);
    } catch (const std::exception&) {
    }
}

bool WindowMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::ContextMenu) {
        // Child controls pass right-clicks they do not use on to the window; only a click on
        // the window's own surface opens its menu.
        auto* request = static_cast<QContextMenuEvent*>(event);
        if (window_.childAt(request->pos()) == nullptr) {
            open(request->globalPos());
            request->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace snipora
