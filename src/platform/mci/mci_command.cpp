// Parsing of the media command texts.
#include "platform/mci/mci_command.h"

#include "platform/mci/mci_status.h"

#include <vector>

namespace snipora::mci {

namespace {

struct Token {
    QByteArray text;
    bool quoted = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

QByteArray lowered(const QByteArray& text) {
    QByteArray result = text;
    for (char& c : result) {
        c = lower(c);
    }
    return result;
}

bool is(const Token& token, std::string_view keyword) {
    if (token.quoted || static_cast<std::size_t>(token.text.size()) != keyword.size()) {
        return false;
    }
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        if (lower(token.text[static_cast<qsizetype>(i)]) != keyword[i]) {
            return false;
        }
    }
    return true;
}

// Splits on blanks; a double quote starts a text that runs to the next lone double quote.
// Inside it a doubled quote stands for one literal quote, so any file name can be quoted: the
// caller doubles every quote of the name, and no name can end the text early and add words.
std::uint32_t tokenize(std::string_view text, std::vector<Token>& tokens) {
    const std::size_t end = std::min(text.find('\0'), text.size());
    std::size_t i = 0;
    while (i < end) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        Token token;
        if (text[i] == '"') {
            token.quoted = true;
            for (++i;; ++i) {
                if (i >= end) {
                    return NoClosingQuote;
                }
                if (text[i] == '"') {
                    if (i + 1 < end && text[i + 1] == '"') {
                        ++i; // a doubled quote: one literal quote
                    } else {
                        break;
                    }
                }
                token.text += text[i];
            }
            ++i;
            if (i < end && !isBlank(text[i])) {
                return ExtraCharacters;
            }
        } else {
            const std::size_t start = i;
            while (i < end && !isBlank(text[i]) && text[i] != '"') {
                ++i;
            }
            if (i < end && text[i] == '"') {
                return ExtraCharacters;
            }
            token.text = QByteArray(text.data() + start, static_cast<qsizetype>(i - start));
        }
        tokens.push_back(std::move(token));
    }
    return Ok;
}

// A 32-bit signed decimal: optional sign, digits only.
std::optional<std::int32_t> toInteger(const QByteArray& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 32) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// Walks the words after the device name.
class Words {
public:
    Words(const std::vector<Token>& tokens, std::size_t first) : tokens_(tokens), next_(first) {}
    bool done() const { return next_ >= tokens_.size(); }
    const Token& take() { return tokens_[next_++]; }
    const Token* takeValue() { return done() ? nullptr : &tokens_[next_++]; }

private:
    const std::vector<Token>& tokens_;
    std::size_t next_;
};

ParsedCommand refuse(std::uint32_t status) {
    return {std::nullopt, status};
}

// Reads "<keyword> <number>" values; gives a status on failure.
std::uint32_t readInteger(Words& words, std::optional<std::int32_t>& into) {
    if (into) {
        return DuplicateFlags;
    }
    const Token* value = words.takeValue();
    if (!value) {
        return MissingParameter;
    }
    into = toInteger(value->text);
    return into ? Ok : BadInteger;
}

ParsedCommand parseOpen(MciCommand command, Words& words) {
    std::optional<QByteArray> type;
    std::optional<QByteArray> alias;
    std::optional<std::int32_t> parent;
    std::optional<QByteArray> style;
    while (!words.done()) {
        const Token& word = words.take();
        if (is(word, "wait")) {
            command.wait = true;
            continue;
        }
        std::optional<QByteArray>* text = is(word, "type")    ? &type
                                          : is(word, "alias") ? &alias
                                          : is(word, "style") ? &style
                                                              : nullptr;
        if (text) {
            if (*text) {
                return refuse(DuplicateFlags);
            }
            const Token* value = words.takeValue();
            if (!value || value->text.isEmpty()) {
                return refuse(MissingStringArgument);
            }
            *text = value->text;
        } else if (is(word, "parent")) {
            if (const std::uint32_t status = readInteger(words, parent); status != Ok) {
                return refuse(status);
            }
        } else {
            return refuse(UnrecognizedKeyword);
        }
    }
    if (type && lowered(*type) != "mpegvideo") {
        return refuse(InvalidDeviceName);
    }
    command.device = lowered(alias ? *alias : command.element);
    if (command.device == "all") {
        return refuse(CannotUseAll);
    }
    return {command, Ok};
}

ParsedCommand parseRest(MciCommand command, Words& words) {
    bool itemGiven = false;
    bool formatGiven = false;
    bool targetGiven = false;
    while (!words.done()) {
        const Token& word = words.take();
        if (is(word, "wait")) {
            command.wait = true;
        } else if (command.verb == Verb::Play && is(word, "from")) {
            if (const std::uint32_t status = readInteger(words, command.from); status != Ok) {
                return refuse(status);
            }
        } else if (command.verb == Verb::Play && is(word, "skip")) {
            if (const std::uint32_t status = readInteger(words, command.skipAt); status != Ok) {
                return refuse(status);
            }
            // The place to go on from belongs to the skip: "to" must follow at once.
            if (words.done() || !is(words.take(), "to")) {
                return refuse(MissingParameter);
            }
            if (const std::uint32_t status = readInteger(words, command.skipTo); status != Ok) {
                return refuse(status);
            }
        } else if (command.verb == Verb::Seek && is(word, "to")) {
            if (targetGiven) {
                return refuse(DuplicateFlags);
            }
            targetGiven = true;
            const Token* value = words.takeValue();
            if (!value) {
                return refuse(MissingParameter);
            }
            if (is(*value, "start")) {
                command.seekTarget = SeekTarget::Start;
            } else if (is(*value, "end")) {
                command.seekTarget = SeekTarget::End;
            } else if (const auto number = toInteger(value->text)) {
                command.to = *number;
            } else {
                return refuse(BadInteger);
            }
        } else if (command.verb == Verb::Set && is(word, "time")) {
            if (formatGiven) {
                return refuse(DuplicateFlags);
            }
            const Token* format = words.takeValue();
            if (!format || !is(*format, "format")) {
                return refuse(format ? UnrecognizedKeyword : MissingParameter);
            }
            const Token* unit = words.takeValue();
            if (!unit) {
                return refuse(MissingParameter);
            }
            if (!is(*unit, "ms") && !is(*unit, "milliseconds")) {
                return refuse(BadTimeFormat);
            }
            formatGiven = true;
        } else if (command.verb == Verb::Status &&
                   (is(word, "length") || is(word, "position") || is(word, "mode"))) {
            if (itemGiven) {
                return refuse(FlagsNotCompatible);
            }
            itemGiven = true;
            command.item = is(word, "length")     ? StatusItem::Length
                           : is(word, "position") ? StatusItem::Position
                                                  : StatusItem::Mode;
        } else {
            return refuse(UnrecognizedKeyword);
        }
    }
    if ((command.verb == Verb::Status && !itemGiven) ||
        (command.verb == Verb::Seek && !targetGiven) ||
        (command.verb == Verb::Set && !formatGiven)) {
        return refuse(MissingParameter);
    }
    if (command.device == "all" && command.verb != Verb::Close) {
        return refuse(CannotUseAll);
    }
    return {command, Ok};
}

} // namespace

ParsedCommand parseCommand(std::string_view text) {
    std::vector<Token> tokens;
    if (const std::uint32_t status = tokenize(text, tokens); status != Ok) {
        return refuse(status);
    }
    if (tokens.empty()) {
        return refuse(MissingCommandString);
    }
    struct VerbName {
        std::string_view name;
        Verb verb;
    };
    static constexpr VerbName verbs[] = {
        {"open", Verb::Open},     {"close", Verb::Close}, {"play", Verb::Play},
        {"seek", Verb::Seek},     {"stop", Verb::Stop},   {"pause", Verb::Pause},
        {"resume", Verb::Resume}, {"set", Verb::Set},     {"status", Verb::Status},
    };
    MciCommand command;
    bool known = false;
    for (const VerbName& verb : verbs) {
        if (is(tokens[0], verb.name)) {
            command.verb = verb.verb;
            known = true;
        }
    }
    if (!known) {
        return refuse(UnrecognizedCommand);
    }
    if (tokens.size() < 2 || tokens[1].text.isEmpty()) {
        if (command.verb == Verb::Open) {
            return refuse(tokens.size() < 2 ? MissingDeviceName : FileNotFound);
        }
        return refuse(MissingDeviceName);
    }
    Words words(tokens, 2);
    if (command.verb == Verb::Open) {
        command.element = tokens[1].text;
        return parseOpen(std::move(command), words);
    }
    command.device = lowered(tokens[1].text);
    return parseRest(std::move(command), words);
}

} // namespace snipora::mci
