// The main window's own window menu: its usual entries, the entries the program appends, and
// the ways it opens (Alt+Space, a right-click on the window's own surface).
#pragma once

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

class QPoint;
class QWidget;

namespace snipora {

class WindowProcedure;

// Flags of WindowMenu::append.
inline constexpr std::uint32_t MF_STRING = 0x0000;
inline constexpr std::uint32_t MF_SEPARATOR = 0x0800;

class WindowMenu : public QObject {
    Q_OBJECT
public:
    // Owned by `window`; choices are delivered to `procedure` as WM_SYSCOMMAND with the id.
    WindowMenu(QWidget& window, WindowProcedure& procedure);

    // Appends a separator (MF_SEPARATOR) or a text entry (MF_STRING) after the menu's own
    // entries; gives false for flags this menu does not know.
    bool append(std::uint32_t flags, std::uint32_t id, const QString& text);

    // Opens the menu at a point on the screen and gives it; it goes away when it closes.
    QMenu* open(const QPoint& globalPosition);
    // The menu while it is open, else null.
    QMenu* openMenu() const { return menu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        bool separator = false;
        std::uint32_t id = 0;
        QString text;
    };

    void choose(std::uint32_t id);

    QWidget& window_;
    WindowProcedure& procedure_;
    QList<Entry> appended_;
    QPointer<QMenu> menu_;
};

} // namespace snipora
