// The host services the program stands on, one small interface each, gathered in one Host.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class QWidget;

namespace snipora {

// The string-command multimedia service: one command text in, a status out (0 = success),
// and for queries a zero-terminated reply written into the caller's buffer, cut to its length.
class MediaCommands {
public:
    virtual ~MediaCommands() = default;
    virtual std::uint32_t sendString(std::string_view command, char* reply,
                                     std::uint32_t replyLength) = 0;
};

// Time of day in seconds since midnight, with a fraction; falls back to 0 at midnight.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double secondsSinceMidnight() = 0;
};

// Waiting without freezing the window: both calls keep window events flowing.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Handles every pending event, then returns.
    virtual void processEvents() = 0;
    // Waits about ms milliseconds, handling events as they come; never spins a core.
    virtual void sleep(int ms) = 0;
};

enum class MessageStyle { Information, Question };
enum class MessageAnswer { Ok, Yes, No };

// Message boxes, always titled with the program's title. Information: icon and OK.
// Question: icon, Yes and No, Yes the default.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const QString& text, MessageStyle style) = 0;
};

struct FileDialogRequest {
    QString filter;      // descriptions and patterns alternating, separated by '|'
    int filterIndex = 1; // 1-based
    QString title;       // empty: the platform's own title
    QString fileName;    // the name the dialog opens with
};

// File dialogs. A cancel is reported as no value, so each caller's failure path runs.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
};

// Child processes, started from a program path and an argument list, never through a shell,
// with standard input closed.
class ProcessLauncher {
public:
    static constexpr std::uint32_t StillActive = 259;

    virtual ~ProcessLauncher() = default;
    // Starts the program hidden; gives an id for the queries below, or nothing when it cannot
    // start.
    virtual std::optional<int> start(const QString& program, const QStringList& arguments) = 0;
    // StillActive while the child runs, its exit code after; nothing when the query fails.
    virtual std::optional<std::uint32_t> exitStatus(int id) = 0;
    // The last non-empty line the child wrote to its error output, if any.
    virtual QString lastErrorLine(int id) = 0;
    // Forgets the child; a child still running goes on by itself.
    virtual void release(int id) = 0;
    // Starts a program that is not waited for and not looked after.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

// The program's place and its end.
class ProgramControl {
public:
    virtual ~ProgramControl() = default;
    // The folder that holds the running program, without a trailing separator.
    virtual QString programFolder() = 0;
    // Stops sound, closes files and ends the process at once, from wherever it is called.
    // It does not return.
    [[noreturn]] virtual void endProgram() = 0;
};

// Everything Form1 needs of its host; handlers never reach the platform another way.
struct Host {
    MediaCommands& media;
    Clock& clock;
    EventPump& pump;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    ProcessLauncher& processes;
    ProgramControl& program;
    // Where the web panel fetches its page; tests point it at a local server.
    QUrl advertisementPage;
};

} // namespace snipora
