// The host services the program stands on, one small interface each, gathered in one Host.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace snipora {

// The string-command multimedia service: one command text in, a status out (0 = success),
// and for queries a zero-terminated reply written into the caller's buffer, cut to its length.
class MediaCommands {
public:
    virtual ~MediaCommands() = default;
    virtual std::uint32_t sendString(std::string_view command, char* reply,
                                     std::uint32_t replyLength) = 0;
};

enum class MessageStyle { Information, Warning, Question };
enum class MessageAnswer { Ok, Yes, No };

// Message boxes, always titled with the program's title. Information and Warning (a failure or
// a refusal): their icon and OK. Question: icon, Yes and No, Yes the default.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const QString& text, MessageStyle style) = 0;
};

struct FileDialogRequest {
    QString filter;      // descriptions and patterns alternating, separated by '|'
    int filterIndex = 1; // 1-based
    QString title;       // empty: the platform's own title
    QString fileName;    // the name (or full path) the dialog opens with
    QString folder;      // where it opens when fileName names no folder; empty: the platform's
};

// File dialogs. A cancel comes back as no value.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
    // A folder (for Save all); the request's filter and file name are not used.
    virtual std::optional<QString> chooseFolder(const FileDialogRequest& request) = 0;
};

// How a child process ended.
struct ProcessExit {
    bool crashed = false; // ended by a signal
    int exitCode = 0;
};

// Child processes, started from a program path and an argument list, never through a shell,
// with standard input closed. Everything is reported through the handlers, from the event loop.
class ProcessLauncher {
public:
    struct Handlers {
        std::function<void(const QByteArray&)> output; // standard output, as it arrives
        std::function<void(ProcessExit)> finished;     // once, when the child has ended
    };

    virtual ~ProcessLauncher() = default;
    // Starts the program hidden; gives an id, or nothing when it cannot start.
    virtual std::optional<int> start(const QString& program, const QStringList& arguments,
                                     Handlers handlers) = 0;
    // The last non-empty line the child wrote to its error output, if any.
    virtual QString lastErrorLine(int id) = 0;
    // Ends a running child at once and forgets it; its finished handler does not run.
    virtual void kill(int id) = 0;
    // Forgets a child that has ended.
    virtual void release(int id) = 0;
};

// Opens web addresses the desktop's own way (its browser settings, sandbox portals).
class DesktopLinks {
public:
    virtual ~DesktopLinks() = default;
    // False when nothing could open it.
    virtual bool openUrl(const QUrl& address) = 0;
};

// The program's place and its end.
class ProgramControl {
public:
    virtual ~ProgramControl() = default;
    // The folder that holds the running program, without a trailing separator.
    virtual QString programFolder() = 0;
    // Stops sound, closes files and ends the process at once. It does not return.
    [[noreturn]] virtual void endProgram() = 0;
};

// Everything the windows and the cutting session need of their host.
struct Host {
    MediaCommands& media;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    ProcessLauncher& processes;
    DesktopLinks& links;
    ProgramControl& program;
    // Where the web panel fetches its page; tests point it at a local server.
    QUrl advertisementPage;
};

} // namespace snipora
