// The host fakes.
#include "support/fake_host.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace snipora::test {

std::uint32_t FakeMedia::sendString(std::string_view command, char* reply,
                                    std::uint32_t replyLength) {
    const QByteArray text(command.data(), static_cast<qsizetype>(command.size()));
    commands << text;
    if (onCommand) {
        onCommand(text);
    }
    const auto found = script_.find(text);
    if (found == script_.end() || found->second.empty()) {
        return defaultStatus;
    }
    Answer answer = found->second.front();
    if (found->second.size() > 1) {
        found->second.pop_front();
    }
    if (reply && replyLength > 0 && answer.writeReply) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(answer.reply.size()), replyLength - 1);
        std::memcpy(reply, answer.reply.constData(), n);
        reply[n] = '\0';
    }
    return answer.status;
}

void FakeMedia::answer(const QByteArray& command, Answer answer) {
    script_[command] = {std::move(answer)};
}

void FakeMedia::answerInTurn(const QByteArray& command, std::initializer_list<Answer> answers) {
    script_[command] = std::deque<Answer>(answers);
}

void FakeClock::advance(double seconds) {
    now += seconds;
    if (now >= 86400.0) {
        now -= 86400.0;
    }
}

void FakePump::processEvents() {
    ++passes;
    if (everyPass) {
        everyPass();
    }
    // Collect what is due first: an action may schedule more.
    std::vector<std::function<void()>> due;
    for (auto it = counted_.begin(); it != counted_.end();) {
        if (--it->first <= 0) {
            due.push_back(std::move(it->second));
            it = counted_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = timed_.begin(); it != timed_.end();) {
        if (clock_.now >= it->first) {
            due.push_back(std::move(it->second));
            it = timed_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& action : due) {
        action();
    }
}

void FakePump::sleep(int ms) {
    ++sleeps;
    sleptMs += ms;
    clock_.advance(ms / 1000.0);
}

void FakePump::at(double time, std::function<void()> action) {
    timed_.emplace_back(time, std::move(action));
}

void FakePump::onPass(int n, std::function<void()> action) {
    counted_.emplace_back(n, std::move(action));
}

MessageAnswer FakeMessageBoxes::show(const QString& text, MessageStyle style) {
    shown << ShownMessage{text, style};
    if (onShow) {
        onShow(text);
    }
    if (style == MessageStyle::Information) {
        return MessageAnswer::Ok;
    }
    if (answers.empty()) {
        return MessageAnswer::No;
    }
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
std::optional<QString> take(std::deque<std::optional<QString>>& answers) {
    if (answers.empty()) {
        return std::nullopt;
    }
    const bool chosen = answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    return chosen ? std::optional<QString>(path) : std::nullopt;
}
} // namespace

std::optional<QString> FakeFileDialogs::openFile(const FileDialogRequest& request) {
    openRequests << request;
    return take(openAnswers);
}

std::optional<QString> FakeFileDialogs::saveFile(const FileDialogRequest& request) {
    saveRequests << request;
    return take(saveAnswers);
}

std::optional<int> FakeProcessLauncher::start(const QString& program,
                                              const QStringList& arguments) {
    const Launch launch{program, arguments, false};
    launches << launch;
    const Script script = next;
    if (script.startFails) {
        return std::nullopt;
    }
    if (script.onStart) {
        script.onStart(launch);
    }
    const int id = nextId_++;
    children_[id] = script;
    return id;
}

std::optional<std::uint32_t> FakeProcessLauncher::exitStatus(int id) {
    ++queries;
    const auto found = children_.find(id);
    if (found == children_.end() || found->second.queryFails) {
        return std::nullopt;
    }
    Script& child = found->second;
    if (child.runningQueries > 0) {
        --child.runningQueries;
        return StillActive;
    }
    return child.exitCode;
}

QString FakeProcessLauncher::lastErrorLine(int id) {
    const auto found = children_.find(id);
    return found == children_.end() ? QString() : found->second.errorLine;
}

void FakeProcessLauncher::release(int id) {
    released << id;
    children_.erase(id);
}

bool FakeProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    launches << Launch{program, arguments, true};
    return !detachedFails;
}

void FakeProgram::endProgram() {
    ++ended;
    throw ProgramEnded{};
}

FakeHost::FakeHost() {
    program.folder = QStringLiteral(SNIPORA_TEST_PROGRAM_DIR);
}

Host FakeHost::host() {
    return Host{media, clock, pump, messages, dialogs, processes, program, advertisementPage};
}

} // namespace snipora::test
