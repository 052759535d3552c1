// A small reader of the text in a rich text (RTF) document.
#include "about/rtf_text.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace snipora {

namespace {

// Destinations whose contents are not part of the document's text.
constexpr std::array<std::string_view, 40> skippedDestinations{
    "author",     "buptim",  "colortbl",  "comment",  "creatim",   "datastore", "doccomm",
    "fldinst",    "filetbl", "fonttbl",   "footer",   "footerf",   "footerl",   "footerr",
    "footnote",   "ftncn",   "ftnsep",    "ftnsepc",  "generator", "header",    "headerf",
    "headerl",    "headerr", "info",      "keywords", "listtable", "objdata",   "object",
    "operator",   "pict",    "printim",   "private",  "revtbl",    "revtim",    "rsidtbl",
    "stylesheet", "subject", "themedata", "title",    "xmlnstbl"};

// Windows-1252 at 0x80..0x9F, the document's default code page; the rest is as Latin-1.
constexpr std::array<char16_t, 32> cp1252High{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

struct Group {
    bool skip = false;   // inside a destination that is not text
    int unicodeSkip = 1; // \ucN: characters that stand in for each \uN
};

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

class Reader {
public:
    explicit Reader(QByteArrayView rtf) : in_(rtf) {}

    QString read() {
        groups_.push_back(Group{});
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            switch (c) {
            case '{':
                flushBytes();
                groups_.push_back(groups_.back());
                pendingSkip_ = 0;
                break;
            case '}':
                flushBytes();
                // A stray closing brace must not take away the outermost state.
                if (groups_.size() > 1) {
                    groups_.pop_back();
                }
                pendingSkip_ = 0;
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break; // line ends in the file are not line ends in the text
            default:
                byte(static_cast<unsigned char>(c));
                break;
            }
        }
        flushBytes();
        return out_;
    }

private:
    Group& group() { return groups_.back(); }

    // A character of the document in its code page, given as text or as \'hh.
    void byte(unsigned char b) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (group().skip) {
            return;
        }
        bytes_.append(static_cast<char>(b));
    }

    void flushBytes() {
        if (bytes_.isEmpty()) {
            return;
        }
        if (codePage_ == 65001) {
            out_ += QString::fromUtf8(bytes_);
        } else {
            for (const char c : std::as_const(bytes_)) {
                const auto b = static_cast<unsigned char>(c);
                if (codePage_ == 1252 && b >= 0x80 && b <= 0x9F) {
                    out_ += QChar(cp1252High[b - 0x80]);
                } else {
                    put(b);
                }
            }
        }
        bytes_.clear();
    }

    // Adds one character of text; control characters other than tab and line feed are dropped.
    void put(char32_t c) {
        if (c < 0x20 && c != '\t' && c != '\n') {
            return;
        }
        if (c > 0xFFFF) {
            out_ += QString::fromUcs4(&c, 1);
        } else {
            out_ += QChar(static_cast<char16_t>(c));
        }
    }

    void text(char32_t c) {
        flushBytes();
        if (!group().skip) {
            put(c);
        }
    }

    void controlSequence() {
        if (pos_ >= in_.size()) {
            return; // a lone backslash at the very end
        }
        const char c = in_[pos_];
        if (isLetter(c)) {
            controlWord();
            return;
        }
        ++pos_;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            byte(static_cast<unsigned char>(c));
            break;
        case '\'': {
            const int high = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
            const int low = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
            if (high >= 0 && low >= 0) {
                pos_ += 2;
                byte(static_cast<unsigned char>(high * 16 + low));
            }
            break;
        }
        case '*':
            flushBytes();
            group().skip = true;
            break;
        case '~':
            symbol(0x00A0);
            break;
        case '_':
            symbol(0x2011);
            break;
        case '\r':
        case '\n':
            symbol('\n');
            break;
        default:
            pendingSkip_ = 0; // \- optional hyphen, \: index entry, \| formula and the unknown
            break;
        }
    }

    // A character given by a control word or symbol.
    void symbol(char32_t c) {
        pendingSkip_ = 0;
        text(c);
    }

    void controlWord() {
        const qsizetype start = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_])) {
            ++pos_;
        }
        const std::string_view word(in_.data() + start, static_cast<std::size_t>(pos_ - start));
        bool hasParameter = false;
        std::int64_t parameter = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() &&
            isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            hasParameter = true;
            // Digits past what a 32-bit parameter holds are read and ignored.
            if (parameter <= std::numeric_limits<std::int32_t>::max()) {
                parameter = parameter * 10 + (in_[pos_] - '0');
            }
            ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') {
            ++pos_; // the delimiter belongs to the control word
        }
        parameter = std::clamp<std::int64_t>(negative ? -parameter : parameter,
                                             std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max());
        apply(word, hasParameter, static_cast<std::int32_t>(parameter));
    }

    void apply(std::string_view word, bool hasParameter, std::int32_t parameter) {
        if (word == "u" && hasParameter) {
            flushBytes();
            pendingSkip_ = 0;
            // Parameters are signed 16-bit: characters above 32767 are written negative.
            const auto unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
            if (!group().skip) {
                put(unit);
            }
            pendingSkip_ = group().unicodeSkip;
            return;
        }
        pendingSkip_ = 0;
        if (word == "uc" && hasParameter) {
            group().unicodeSkip = std::clamp(parameter, 0, 16);
        } else if (word == "ansicpg" && hasParameter) {
            flushBytes();
            codePage_ = parameter;
        } else if (word == "bin") {
            // Raw binary data of the given length, never text.
            const std::int64_t length = hasParameter ? std::max<std::int32_t>(parameter, 0) : 0;
            pos_ += static_cast<qsizetype>(std::min<std::int64_t>(length, in_.size() - pos_));
        } else if (word == "par" || word == "line" || word == "sect" || word == "page" ||
                   word == "row") {
            text('\n');
        } else if (word == "tab" || word == "cell") {
            text('\t');
        } else if (word == "emdash") {
            text(0x2014);
        } else if (word == "endash") {
            text(0x2013);
        } else if (word == "bullet") {
            text(0x2022);
        } else if (word == "lquote") {
            text(0x2018);
        } else if (word == "rquote") {
            text(0x2019);
        } else if (word == "ldblquote") {
            text(0x201C);
        } else if (word == "rdblquote") {
            text(0x201D);
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            text(' ');
        } else if (std::find(skippedDestinations.begin(), skippedDestinations.end(), word) !=
                   skippedDestinations.end()) {
            flushBytes();
            group().skip = true;
        }
    }

    QByteArrayView in_;
    qsizetype pos_ = 0;
    std::vector<Group> groups_;
    QString out_;
    QByteArray bytes_; // characters in the code page, decoded together so multi-byte ones hold
    int pendingSkip_ = 0;
    std::int32_t codePage_ = 1252;
};

} // namespace

bool looksLikeRtf(QByteArrayView data) {
    return data.startsWith("{\\rtf");
}

QString rtfToText(QByteArrayView rtf) {
    return Reader(rtf).read();
}

} // namespace snipora
