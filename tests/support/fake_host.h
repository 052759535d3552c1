// Test fakes of every host service, gathered in FakeHost: scripted media device, fake clock and
// pump (waits take no real time), scripted dialogs and message boxes, a recording launcher.
#pragma once

#include "platform/host.h"

#include <QList>
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

// A clock the test sets; the fake pump moves it on as waits pass.
class FakeClock final : public Clock {
public:
    double secondsSinceMidnight() override { return now; }
    void advance(double seconds);
    double now = 36000.0; // 10:00:00
};

// processEvents runs the scheduled actions that are due; sleep moves the clock on.
class FakePump final : public EventPump {
public:
    explicit FakePump(FakeClock& clock) : clock_(clock) {}
    void processEvents() override;
    void sleep(int ms) override;

    // Runs `action` on the first event pass at or after the given clock time.
    void at(double time, std::function<void()> action);
    // Runs `action` on the n-th event pass from now (1 = the next).
    void onPass(int n, std::function<void()> action);
    // Runs on every event pass.
    std::function<void()> everyPass;

    int passes = 0;
    int sleeps = 0;
    double sleptMs = 0;

private:
    FakeClock& clock_;
    std::vector<std::pair<double, std::function<void()>>> timed_;
    std::vector<std::pair<int, std::function<void()>>> counted_;
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
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    // Chosen paths, front first; nullopt (or none queued) means the user cancels.
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
};

// Records every launch; each child runs for a scripted number of status queries.
class FakeProcessLauncher final : public ProcessLauncher {
public:
    struct Launch {
        QString program;
        QStringList arguments;
        bool detached = false;
    };
    struct Script {
        bool startFails = false;
        int runningQueries = 0; // queries answered StillActive before the exit code
        std::uint32_t exitCode = 0;
        bool queryFails = false;
        QString errorLine;
        std::function<void(const Launch&)> onStart; // e.g. write the output file
    };

    std::optional<int> start(const QString& program, const QStringList& arguments) override;
    std::optional<std::uint32_t> exitStatus(int id) override;
    QString lastErrorLine(int id) override;
    void release(int id) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;

    Script next; // the script of the next start
    bool detachedFails = false;
    QList<Launch> launches;
    int queries = 0;
    QList<int> released;

private:
    std::map<int, Script> children_;
    int nextId_ = 100;
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
    FakeClock clock;
    FakePump pump{clock};
    FakeMessageBoxes messages;
    FakeFileDialogs dialogs;
    FakeProcessLauncher processes;
    FakeProgram program;
    QUrl advertisementPage{QStringLiteral("http://127.0.0.1:9/info.php?n=snipora")};
};

} // namespace snipora::test
