// Form1: the main window, its controls, the form state the handlers share, start-up and shut-down.
#pragma once

#include "app/common_dialog.h"
#include "app/marker_line.h"
#include "media/movie_module.h"
#include "platform/host.h"
#include "platform/window_procedure.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace snipora {

class BrowserPanel;
class Form2;
class PositionSlider;
class WindowMenu;

class Form1 : public QWidget {
    Q_OBJECT
public:
    // Builds the window and its controls with their design-time settings; sends nothing.
    explicit Form1(const Host& host, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: Form_Initialize loads the window (Form_Load) and then points the web panel at
    // the advertisement page.
    void Form_Initialize();
    void Form_Load();
    // Sends "close all" and ends the program at once; never returns.
    [[noreturn]] void Form_Unload();

    // Handlers, named object_event, each defined in the folder of its subsystem.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void T_Timer();
    void H_Click();
    void H_MouseDown();
    void H_MouseUp();

    // Opens a file named outside the dialog (the command line, a drop) through Open itself, as
    // if the user had picked it; a name that is not an existing file is refused with a message.
    void openNamedFile(const QString& path);

    // Time text of a count of whole seconds: " h : m : s", each number blank- or minus-prefixed.
    static QString formatTime(std::int32_t seconds);

    // The one media controller, created on first use and never replaced.
    MovieModule& player();
    bool hasPlayer() const { return player_ != nullptr; }

    // The timer's Enabled property: turning on a running timer leaves its countdown alone.
    void setTimerEnabled(bool enabled);
    bool timerEnabled() const;

    // The saving state shared by both saves: the lock list in its order, the stop, the caption.
    void enterSavingState();
    void leaveSavingState();
    // The lock list, in the order it is disabled and enabled again.
    QList<QWidget*> lockedControls() const;

    // The selection is valid when the start mark lies strictly before the end mark; otherwise the
    // user is told so and the caller goes no further.
    bool selectionIsValid();

    // A stable 32-bit identifier of a widget, handed to the media service as a window handle.
    static std::int32_t windowHandleOf(const QWidget* widget);

    const Host host;

    // Form state, in declaration order.
private:
    std::unique_ptr<MovieModule> player_;

public:
    std::int32_t markStart = 0;
    std::int32_t markEnd = 0;
    QString sourceFile;
    std::int32_t markerScale = 0;

    // Controls. Widgets are owned by this window through Qt's parent tree.
    QLabel* Label4 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label9 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command3 = nullptr;
    QFrame* Frame1 = nullptr;
    PositionSlider* H = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QProgressBar* pb = nullptr;
    BrowserPanel* WebBrowser1 = nullptr;
    MarkerLine Line1;
    MarkerLine Line2;
    QTimer* T = nullptr;
    CommonDialog Cdlg;
    QFrame* P = nullptr;
    QGroupBox* Frame4 = nullptr;

    // The About window, created on first use; it deletes itself when closed.
    QPointer<Form2> aboutWindow;

    // The window's replaceable message procedure, and its own window menu whose choices are
    // delivered there (owned by this window).
    WindowProcedure windowProcedure{*this};
    WindowMenu* windowMenu = nullptr;

    // The close box, the window menu's Close and the keyboard close command all unload.
    void closeEvent(QCloseEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A file dropped on the window opens as if picked in the Open dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
};

} // namespace snipora
