// The host fakes.
#include "support/fake_host.h"

#include <QFileInfo>
#include <QTimer>

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

MessageAnswer FakeMessageBoxes::show(const QString& text, MessageStyle style) {
    shown << ShownMessage{text, style};
    if (onShow) {
        onShow(text);
    }
    if (style != MessageStyle::Question) {
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

std::optional<QString> FakeFileDialogs::chooseFolder(const FileDialogRequest& request) {
    folderRequests << request;
    return take(folderAnswers);
}

std::optional<int> FakeProcessLauncher::start(const QString& program, const QStringList& arguments,
                                              Handlers handlers) {
    const Launch launch{program, arguments};
    launches << launch;
    Script script = next;
    if (!scripts.empty()) {
        script = scripts.front();
        scripts.pop_front();
    }
    if (script.startFails) {
        return std::nullopt;
    }
    if (script.onStart) {
        script.onStart(launch);
    }
    const int id = nextId_++;
    children_[id] = {script, handlers};
    // What the child writes comes from the event loop, and then, unless it runs until killed,
    // its end.
    QTimer::singleShot(0, &events_, [this, id] {
        const auto found = children_.find(id);
        if (found == children_.end()) {
            return;
        }
        const auto [child, childHandlers] = found->second;
        if (!child.output.isEmpty() && childHandlers.output) {
            childHandlers.output(child.output);
        }
        if (!child.neverEnds && children_.count(id) != 0 && childHandlers.finished) {
            childHandlers.finished(ProcessExit{child.crashes, child.exitCode});
        }
    });
    return id;
}

QString FakeProcessLauncher::lastErrorLine(int id) {
    const auto found = children_.find(id);
    return found == children_.end() ? QString() : found->second.first.errorLine;
}

void FakeProcessLauncher::kill(int id) {
    killed << id;
    children_.erase(id);
}

void FakeProcessLauncher::release(int id) {
    children_.erase(id);
}

void FakeProgram::endProgram() {
    ++ended;
    throw ProgramEnded{};
}

FakeHost::FakeHost() {
    program.folder = QStringLiteral(SNIPORA_TEST_PROGRAM_DIR);
}

Host FakeHost::host() {
    return Host{media, messages, dialogs, processes, links, program, advertisementPage};
}

} // namespace snipora::test
