// Test fakes of every host service, gathered in FakeHost: a scripted media device, scripted
// dialogs and message boxes, a scripted launcher, a link opener that records.
#pragma once

#include "platform/host.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace snipora::test {

// Thrown by FakeProgram::endProgram, so that a test sees the program end and the handler that
// was waiting never resumes. Deliberately not a std::exception: no handler's trap catches it.
struct ProgramEnded {};

// A media device that records every command string and answers from a script.
class FakeMedia final : public MediaCommands {
public:
    struct Answer {
        std::uint32_t status = 0;
        // Written into the reply buffer (with its terminating zero) when the command is a query;
        // nothing is written when empty and writeReply is false.
        QByteArray reply;
        bool writeReply = true;
    };

    std::uint32_t sendString(std::string_view command, char* reply,
                             std::uint32_t replyLength) override;

    // The answer to every later command that equals `command` exactly.
    void answer(const QByteArray& command, Answer answer);
    // Answers in turn; the last one stays for every later command.
    void answerInTurn(const QByteArray& command, std::initializer_list<Answer> answers);
    void answer(const QByteArray& command, const QByteArray& reply) {
        answer(command, Answer{0, reply, true});
    }
    // A device that keeps answering "status movie mode" with the given mode and length/position.
    void setMode(const QByteArray& mode) { answer("status movie mode", mode); }
    void setLength(std::int32_t ms) { answer("status movie length", QByteArray::number(ms)); }
    void setPosition(std::int32_t ms) {
        answer("status movie position wait", QByteArray::number(ms));
    }
    // Called for every command before the script answers; may change the script.
    std::function<void(const QByteArray&)> onCommand;

    QList<QByteArray> commands;
    // Status for commands without a scripted answer.
    std::uint32_t defaultStatus = 0;

private:
    std::map<QByteArray, std::deque<Answer>> script_;
};

struct ShownMessage {
    QString text;
    MessageStyle style;
};

class FakeMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer show(const QString& text, MessageStyle style) override;
    QList<ShownMessage> shown;
    // Answers to questions, front first; No when none is queued.
    std::deque<MessageAnswer> answers;
    std::function<void(const QString&)> onShow;
};

class FakeFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    QList<FileDialogRequest> folderRequests;
    std::deque<std::optional<QString>> folderAnswers;
    // Chosen paths, front first; nullopt (or none queued) means the user cancels.
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
};

// Records every launch; each child ends as its script says, from the event loop.
class FakeProcessLauncher final : public ProcessLauncher {
public:
    struct Launch {
        QString program;
        QStringList arguments;
    };
    struct Script {
        bool startFails = false;
        bool neverEnds = false; // runs until killed
        bool crashes = false;
        int exitCode = 0;
        QByteArray output; // written to standard output before the end
        QString errorLine;
        std::function<void(const Launch&)> onStart; // e.g. write the output file
    };

    std::optional<int> start(const QString& program, const QStringList& arguments,
                             Handlers handlers) override;
    QString lastErrorLine(int id) override;
    void kill(int id) override;
    void release(int id) override;

    // Scripts of the next starts, front first; `next` once they are used up.
    std::deque<Script> scripts;
    Script next;
    QList<Launch> launches;
    QList<int> killed;
    // Children started and not yet ended, killed or released.
    int running() const { return static_cast<int>(children_.size()); }

private:
    std::map<int, std::pair<Script, Handlers>> children_;
    int nextId_ = 100;
    // What a child does later is queued on this, so that none of it outlives the launcher.
    QObject events_;
};

class FakeDesktopLinks final : public DesktopLinks {
public:
    bool openUrl(const QUrl& address) override {
        opened << address;
        return !fails;
    }
    QList<QUrl> opened;
    bool fails = false;
};

class FakeProgram final : public ProgramControl {
public:
    QString programFolder() override { return folder; }
    [[noreturn]] void endProgram() override;
    QString folder;
    int ended = 0;
};

struct FakeHost {
    FakeHost();
    Host host();

    FakeMedia media;
    FakeMessageBoxes messages;
    FakeFileDialogs dialogs;
    FakeProcessLauncher processes;
    FakeDesktopLinks links;
    FakeProgram program;
    QUrl advertisementPage{QStringLiteral("http://127.0.0.1:9/info.php?n=snipora")};
};

} // namespace snipora::test
