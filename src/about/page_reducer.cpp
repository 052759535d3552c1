// A small tolerant HTML tokenizer that keeps a safe subset of a page and re-emits it escaped.
#include "about/page_reducer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace snipora {

namespace {

enum class Tag {
    Unknown,
    Bold,
    Italic,
    Underline,
    Emphasis,
    Strong,
    Span,
    Font,
    Link,
    Break,
    Paragraph,
    Block, // div, and block elements that are not kept, rendered as div
    Heading,
    BulletList,
    NumberedList,
    Item,
    Table,
    Row,
    DataCell,
    HeaderCell,
    LineBreakOnly, // hr: a line break, nothing else
    Skipped,       // the element and everything inside it: scripts, styles, frames, ...
};

struct TagName {
    QLatin1StringView name;
    Tag tag;
};

// Names longer than any here are unknown without a look-up.
constexpr int longestTagName = 10;

constexpr std::array tagNames{
    TagName{QLatin1StringView("b"), Tag::Bold},
    TagName{QLatin1StringView("i"), Tag::Italic},
    TagName{QLatin1StringView("u"), Tag::Underline},
    TagName{QLatin1StringView("em"), Tag::Emphasis},
    TagName{QLatin1StringView("strong"), Tag::Strong},
    TagName{QLatin1StringView("span"), Tag::Span},
    TagName{QLatin1StringView("font"), Tag::Font},
    TagName{QLatin1StringView("a"), Tag::Link},
    TagName{QLatin1StringView("br"), Tag::Break},
    TagName{QLatin1StringView("p"), Tag::Paragraph},
    TagName{QLatin1StringView("div"), Tag::Block},
    TagName{QLatin1StringView("center"), Tag::Block},
    TagName{QLatin1StringView("section"), Tag::Block},
    TagName{QLatin1StringView("article"), Tag::Block},
    TagName{QLatin1StringView("header"), Tag::Block},
    TagName{QLatin1StringView("footer"), Tag::Block},
    TagName{QLatin1StringView("nav"), Tag::Block},
    TagName{QLatin1StringView("main"), Tag::Block},
    TagName{QLatin1StringView("aside"), Tag::Block},
    TagName{QLatin1StringView("blockquote"), Tag::Block},
    TagName{QLatin1StringView("pre"), Tag::Block},
    TagName{QLatin1StringView("address"), Tag::Block},
    TagName{QLatin1StringView("figure"), Tag::Block},
    TagName{QLatin1StringView("figcaption"), Tag::Block},
    TagName{QLatin1StringView("form"), Tag::Block},
    TagName{QLatin1StringView("fieldset"), Tag::Block},
    TagName{QLatin1StringView("dl"), Tag::Block},
    TagName{QLatin1StringView("dt"), Tag::Block},
    TagName{QLatin1StringView("dd"), Tag::Block},
    TagName{QLatin1StringView("h1"), Tag::Heading},
    TagName{QLatin1StringView("h2"), Tag::Heading},
    TagName{QLatin1StringView("h3"), Tag::Heading},
    TagName{QLatin1StringView("h4"), Tag::Heading},
    TagName{QLatin1StringView("h5"), Tag::Heading},
    TagName{QLatin1StringView("h6"), Tag::Heading},
    TagName{QLatin1StringView("ul"), Tag::BulletList},
    TagName{QLatin1StringView("ol"), Tag::NumberedList},
    TagName{QLatin1StringView("li"), Tag::Item},
    TagName{QLatin1StringView("table"), Tag::Table},
    TagName{QLatin1StringView("tr"), Tag::Row},
    TagName{QLatin1StringView("td"), Tag::DataCell},
    TagName{QLatin1StringView("th"), Tag::HeaderCell},
    TagName{QLatin1StringView("hr"), Tag::LineBreakOnly},
    // Their content is code, styling, or a fallback for what is not shown.
    TagName{QLatin1StringView("script"), Tag::Skipped},
    TagName{QLatin1StringView("style"), Tag::Skipped},
    TagName{QLatin1StringView("title"), Tag::Skipped},
    TagName{QLatin1StringView("textarea"), Tag::Skipped},
    TagName{QLatin1StringView("select"), Tag::Skipped},
    TagName{QLatin1StringView("iframe"), Tag::Skipped},
    TagName{QLatin1StringView("noscript"), Tag::Skipped},
    TagName{QLatin1StringView("noembed"), Tag::Skipped},
    TagName{QLatin1StringView("noframes"), Tag::Skipped},
    TagName{QLatin1StringView("template"), Tag::Skipped},
    TagName{QLatin1StringView("xmp"), Tag::Skipped},
    TagName{QLatin1StringView("svg"), Tag::Skipped},
    TagName{QLatin1StringView("math"), Tag::Skipped},
};

Tag tagFor(QStringView name) {
    if (name.size() > longestTagName) {
        return Tag::Unknown;
    }
    for (const TagName& entry : tagNames) {
        if (name.size() == entry.name.size() &&
            name.compare(entry.name, Qt::CaseInsensitive) == 0) {
            return entry.tag;
        }
    }
    return Tag::Unknown;
}

// The written name of a kept tag; headings carry their level separately.
QLatin1StringView writtenName(Tag tag) {
    switch (tag) {
    case Tag::Bold:
        return QLatin1StringView("b");
    case Tag::Italic:
        return QLatin1StringView("i");
    case Tag::Underline:
        return QLatin1StringView("u");
    case Tag::Emphasis:
        return QLatin1StringView("em");
    case Tag::Strong:
        return QLatin1StringView("strong");
    case Tag::Span:
        return QLatin1StringView("span");
    case Tag::Font:
        return QLatin1StringView("font");
    case Tag::Link:
        return QLatin1StringView("a");
    case Tag::Paragraph:
        return QLatin1StringView("p");
    case Tag::BulletList:
        return QLatin1StringView("ul");
    case Tag::NumberedList:
        return QLatin1StringView("ol");
    case Tag::Item:
        return QLatin1StringView("li");
    case Tag::Table:
        return QLatin1StringView("table");
    case Tag::Row:
        return QLatin1StringView("tr");
    case Tag::DataCell:
        return QLatin1StringView("td");
    case Tag::HeaderCell:
        return QLatin1StringView("th");
    default:
        return QLatin1StringView("div");
    }
}

bool isSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isAsciiAlnum(QChar c) {
    return isAsciiLetter(c) || (c.unicode() >= u'0' && c.unicode() <= u'9');
}

// Named character references: the ones pages use in running text. Any other stays as written.
struct Entity {
    QLatin1StringView name;
    char16_t character;
};
constexpr std::array entities{
    Entity{QLatin1StringView("amp"), u'&'},         Entity{QLatin1StringView("lt"), u'<'},
    Entity{QLatin1StringView("gt"), u'>'},          Entity{QLatin1StringView("quot"), u'"'},
    Entity{QLatin1StringView("apos"), u'\''},       Entity{QLatin1StringView("nbsp"), u'\u00A0'},
    Entity{QLatin1StringView("copy"), u'\u00A9'},   Entity{QLatin1StringView("reg"), u'\u00AE'},
    Entity{QLatin1StringView("trade"), u'\u2122'},  Entity{QLatin1StringView("hellip"), u'\u2026'},
    Entity{QLatin1StringView("mdash"), u'\u2014'},  Entity{QLatin1StringView("ndash"), u'\u2013'},
    Entity{QLatin1StringView("lsquo"), u'\u2018'},  Entity{QLatin1StringView("rsquo"), u'\u2019'},
    Entity{QLatin1StringView("ldquo"), u'\u201C'},  Entity{QLatin1StringView("rdquo"), u'\u201D'},
    Entity{QLatin1StringView("laquo"), u'\u00AB'},  Entity{QLatin1StringView("raquo"), u'\u00BB'},
    Entity{QLatin1StringView("bull"), u'\u2022'},   Entity{QLatin1StringView("middot"), u'\u00B7'},
    Entity{QLatin1StringView("euro"), u'\u20AC'},   Entity{QLatin1StringView("pound"), u'\u00A3'},
    Entity{QLatin1StringView("yen"), u'\u00A5'},    Entity{QLatin1StringView("cent"), u'\u00A2'},
    Entity{QLatin1StringView("deg"), u'\u00B0'},    Entity{QLatin1StringView("times"), u'\u00D7'},
    Entity{QLatin1StringView("divide"), u'\u00F7'}, Entity{QLatin1StringView("plusmn"), u'\u00B1'},
    Entity{QLatin1StringView("sect"), u'\u00A7'},   Entity{QLatin1StringView("para"), u'\u00B6'},
    Entity{QLatin1StringView("shy"), u'\u00AD'},    Entity{QLatin1StringView("iexcl"), u'\u00A1'},
    Entity{QLatin1StringView("iquest"), u'\u00BF'}, Entity{QLatin1StringView("szlig"), u'\u00DF'},
    Entity{QLatin1StringView("auml"), u'\u00E4'},   Entity{QLatin1StringView("ouml"), u'\u00F6'},
    Entity{QLatin1StringView("uuml"), u'\u00FC'},   Entity{QLatin1StringView("Auml"), u'\u00C4'},
    Entity{QLatin1StringView("Ouml"), u'\u00D6'},   Entity{QLatin1StringView("Uuml"), u'\u00DC'},
    Entity{QLatin1StringView("eacute"), u'\u00E9'}, Entity{QLatin1StringView("egrave"), u'\u00E8'},
    Entity{QLatin1StringView("ecirc"), u'\u00EA'},  Entity{QLatin1StringView("agrave"), u'\u00E0'},
    Entity{QLatin1StringView("aacute"), u'\u00E1'}, Entity{QLatin1StringView("ccedil"), u'\u00E7'},
    Entity{QLatin1StringView("ntilde"), u'\u00F1'}, Entity{QLatin1StringView("Eacute"), u'\u00C9'},
};
constexpr int longestEntityName = 6;

// How the legacy code points 0x80-0x9F are read in numeric references, as browsers do.
constexpr std::array<char16_t, 32> windows1252{
    u'\u20AC', u'\uFFFD', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\uFFFD', u'\u017D', u'\uFFFD',
    u'\uFFFD', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\uFFFD', u'\u017E', u'\u0178',
};

int digitValue(QChar c, bool hex) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (hex && u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (hex && u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

// Reads a character reference at `text[at]` == '&'. Returns the code point and the length read,
// or nothing when the text there is not a reference we decode (then '&' is an ordinary
// character). Numeric references may leave out the ';'; named ones need it, as in attributes.
std::optional<std::pair<char32_t, qsizetype>> readReference(QStringView text, qsizetype at) {
    qsizetype i = at + 1;
    const qsizetype end = text.size();
    if (i < end && text[i] == u'#') {
        ++i;
        const bool hex = i < end && (text[i] == u'x' || text[i] == u'X');
        if (hex) {
            ++i;
        }
        const qsizetype digitsStart = i;
        char32_t value = 0;
        while (i < end) {
            const int digit = digitValue(text[i], hex);
            if (digit < 0) {
                break;
            }
            // Saturates: any overlong number is out of range all the same.
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + char32_t(digit);
            ++i;
        }
        if (i == digitsStart) {
            return std::nullopt;
        }
        if (i < end && text[i] == u';') {
            ++i;
        }
        if (value >= 0x80 && value <= 0x9F) {
            value = windows1252[value - 0x80];
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            value = 0xFFFD;
        }
        return std::pair{value, i - at};
    }
    const qsizetype nameStart = i;
    while (i < end && i - nameStart <= longestEntityName && isAsciiAlnum(text[i])) {
        ++i;
    }
    if (i == nameStart || i >= end || text[i] != u';') {
        return std::nullopt;
    }
    const QStringView name = text.sliced(nameStart, i - nameStart);
    for (const Entity& entity : entities) {
        if (name == entity.name) {
            return std::pair{char32_t(entity.character), i + 1 - at};
        }
    }
    return std::nullopt;
}

// The text with its references decoded.
QString decodeReferences(QStringView text) {
    QString decoded;
    decoded.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'&') {
            if (const auto reference = readReference(text, i)) {
                const char32_t ucs4 = reference->first;
                decoded.append(QStringView(QChar::fromUcs4(ucs4)));
                i += reference->second;
                continue;
            }
        }
        decoded.append(text[i]);
        ++i;
    }
    return decoded;
}

// Characters that must not reach the document: controls, lone surrogate halves, and the
// object, paragraph and frame markers the rich-text document uses internally.
bool isUnsafeCharacter(char16_t u) {
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7F || u == 0xFFFC ||
           u == 0x2029 || (u >= 0xFDD0 && u <= 0xFDEF);
}

struct Attributes {
    QStringView href;
    QStringView name;
    QStringView color;
    QStringView size;
    QStringView align;
    QStringView border;
    bool hasHref = false;
};

// One open element of the output.
struct Open {
    Tag tag;
    int rows = 0;  // for tables
    int cells = 0; // for rows
    int level = 0; // for headings
};

class Reducer {
public:
    explicit Reducer(QStringView html) : in_(html) { out_.reserve(4096); }

    QString run() {
        while (pos_ < in_.size() && !full()) {
            if (in_[pos_] == u'<') {
                markup();
            } else {
                text();
            }
        }
        closeDownTo(0);
        return std::move(out_);
    }

private:
    bool full() const { return out_.size() >= PageLimits::output; }

    // --- text ---------------------------------------------------------------------------------

    void text() {
        const qsizetype start = pos_;
        while (pos_ < in_.size() && in_[pos_] != u'<') {
            ++pos_;
        }
        emitText(in_.sliced(start, pos_ - start));
    }

    void emitText(QStringView raw) {
        qsizetype i = 0;
        while (i < raw.size() && !full()) {
            char32_t c = raw[i].unicode();
            qsizetype length = 1;
            if (c == u'&') {
                if (const auto reference = readReference(raw, i)) {
                    c = reference->first;
                    length = reference->second;
                }
            } else if (QChar::isHighSurrogate(c) && i + 1 < raw.size() &&
                       raw[i + 1].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(raw[i], raw[i + 1]);
                length = 2;
            } else if (QChar::isSurrogate(c)) {
                c = 0xFFFD;
            }
            i += length;
            emitCharacter(c);
        }
    }

    void emitCharacter(char32_t c) {
        if (c < 0x10000 && isSpace(QChar(char16_t(c)))) {
            pendingSpace_ = true;
            return;
        }
        if (c < 0x10000 && isUnsafeCharacter(char16_t(c))) {
            return;
        }
        // Stray text between table rows or cells is not laid out where a browser puts it;
        // it is kept all the same, in a cell of its own where the table still has room.
        // Past the table bounds it is left out.
        if (!stack_.empty() && (stack_.back().tag == Tag::Table || stack_.back().tag == Tag::Row)) {
            if (!cellHasRoom()) {
                return;
            }
            startCell(Tag::DataCell, {});
        }
        if (pendingSpace_) {
            out_.append(u' ');
            pendingSpace_ = false;
        }
        switch (c) {
        case u'&':
            out_.append(QLatin1StringView("&amp;"));
            break;
        case u'<':
            out_.append(QLatin1StringView("&lt;"));
            break;
        case u'>':
            out_.append(QLatin1StringView("&gt;"));
            break;
        default:
            out_.append(QStringView(QChar::fromUcs4(c)));
        }
        breaksInARow_ = 0;
    }

    void separate() { pendingSpace_ = true; }

    // Runs of line breaks with no text between are cut to two: thousands of them cost the
    // layout as much as text and show nothing.
    void lineBreak() {
        if (breaksInARow_ < 2) {
            out_.append(QLatin1StringView("<br>"));
            ++breaksInARow_;
        }
        pendingSpace_ = false;
    }

    // --- markup -------------------------------------------------------------------------------

    void markup() {
        const qsizetype end = in_.size();
        const qsizetype next = pos_ + 1;
        if (next >= end) {
            emitCharacter(u'<');
            ++pos_;
            return;
        }
        const QChar c = in_[next];
        if (c == u'!') {
            if (in_.sliced(next).startsWith(u"!--")) {
                skipPast(pos_ + 4, u"-->");
            } else {
                skipPast(next, u">");
            }
            return;
        }
        if (c == u'?') {
            skipPast(next, u">");
            return;
        }
        if (c == u'/') {
            if (next + 1 < end && isAsciiLetter(in_[next + 1])) {
                pos_ = next + 1;
                endTag();
            } else {
                // "</>" and "</ ..." are no tags: skipped as browsers do.
                skipPast(next, u">");
            }
            return;
        }
        if (isAsciiLetter(c)) {
            pos_ = next;
            startTag();
            return;
        }
        emitCharacter(u'<');
        ++pos_;
    }

    // Moves past the next `marker` at or after `from`, or to the end of the page.
    void skipPast(qsizetype from, QStringView marker) {
        const qsizetype found = in_.indexOf(marker, std::min(from, in_.size()));
        pos_ = found < 0 ? in_.size() : found + marker.size();
    }

    QStringView readName() {
        const qsizetype start = pos_;
        while (pos_ < in_.size() && !isSpace(in_[pos_]) && in_[pos_] != u'/' && in_[pos_] != u'>') {
            ++pos_;
        }
        return in_.sliced(start, pos_ - start);
    }

    // Reads the attributes up to and past the closing '>'. False when the page ends first: a
    // tag cut off by the end of the page is left out.
    bool readAttributes(Attributes* attributes) {
        const qsizetype end = in_.size();
        while (pos_ < end) {
            const QChar c = in_[pos_];
            if (c == u'>') {
                ++pos_;
                return true;
            }
            if (isSpace(c) || c == u'/') {
                ++pos_;
                continue;
            }
            const qsizetype nameStart = pos_;
            ++pos_; // an attribute name may start with '='
            while (pos_ < end && !isSpace(in_[pos_]) && in_[pos_] != u'/' && in_[pos_] != u'>' &&
                   in_[pos_] != u'=') {
                ++pos_;
            }
            const QStringView name = in_.sliced(nameStart, pos_ - nameStart);
            while (pos_ < end && isSpace(in_[pos_])) {
                ++pos_;
            }
            QStringView value;
            bool hasValue = false;
            if (pos_ < end && in_[pos_] == u'=') {
                ++pos_;
                while (pos_ < end && isSpace(in_[pos_])) {
                    ++pos_;
                }
                hasValue = true;
                if (pos_ < end && (in_[pos_] == u'"' || in_[pos_] == u'\'')) {
                    const QChar quote = in_[pos_];
                    const qsizetype closing = in_.indexOf(quote, pos_ + 1);
                    if (closing < 0) {
                        pos_ = end;
                        return false;
                    }
                    value = in_.sliced(pos_ + 1, closing - pos_ - 1);
                    pos_ = closing + 1;
                } else {
                    const qsizetype valueStart = pos_;
                    while (pos_ < end && !isSpace(in_[pos_]) && in_[pos_] != u'>') {
                        ++pos_;
                    }
                    value = in_.sliced(valueStart, pos_ - valueStart);
                }
            }
            if (attributes != nullptr && hasValue) {
                keepAttribute(attributes, name, value);
            }
        }
        return false;
    }

    static void keepAttribute(Attributes* attributes, QStringView name, QStringView value) {
        // The first of repeated attributes counts, as in browsers.
        const auto keep = [&](QLatin1StringView wanted, QStringView* into) {
            if (into->isNull() && name.compare(wanted, Qt::CaseInsensitive) == 0) {
                *into = value.isNull() ? QStringView(u"") : value;
                return true;
            }
            return false;
        };
        if (keep(QLatin1StringView("href"), &attributes->href)) {
            attributes->hasHref = true;
            return;
        }
        (void)(keep(QLatin1StringView("name"), &attributes->name) ||
               keep(QLatin1StringView("color"), &attributes->color) ||
               keep(QLatin1StringView("size"), &attributes->size) ||
               keep(QLatin1StringView("align"), &attributes->align) ||
               keep(QLatin1StringView("border"), &attributes->border));
    }

    void startTag() {
        const QStringView name = readName();
        const Tag tag = tagFor(name);
        Attributes attributes;
        if (!readAttributes(&attributes)) {
            return;
        }
        if (tag == Tag::Skipped) {
            skipElement(name);
            return;
        }
        startElement(tag, name, attributes);
    }

    // Skips the content of a script, style or similar element: everything up to its end tag.
    void skipElement(QStringView name) {
        const qsizetype end = in_.size();
        while (pos_ < end) {
            const qsizetype found = in_.indexOf(u"</", pos_);
            if (found < 0) {
                pos_ = end;
                return;
            }
            pos_ = found + 2;
            if (in_.sliced(pos_).startsWith(name, Qt::CaseInsensitive)) {
                const qsizetype after = pos_ + name.size();
                if (after >= end || isSpace(in_[after]) || in_[after] == u'>' ||
                    in_[after] == u'/') {
                    pos_ = after;
                    readAttributes(nullptr);
                    return;
                }
            }
        }
    }

    void endTag() {
        const Tag tag = tagFor(readName());
        readAttributes(nullptr);
        switch (tag) {
        case Tag::Unknown:
        case Tag::Skipped:
        case Tag::LineBreakOnly:
            return;
        case Tag::Break:
            // "</br>" is read as "<br>" by browsers.
            lineBreak();
            return;
        case Tag::Table:
            if (droppedTables_ > 0) {
                --droppedTables_;
                separate();
                return;
            }
            break;
        case Tag::Row:
        case Tag::DataCell:
        case Tag::HeaderCell:
            // The rows and cells of a table shown as text close nothing of the table around it.
            if (droppedTables_ > 0) {
                return;
            }
            break;
        default:
            break;
        }
        const std::optional<std::size_t> open = findOpen(tag, scopeFor(tag));
        if (open) {
            closeDownTo(*open);
        }
        if (tag == Tag::Paragraph || tag == Tag::Block || tag == Tag::Heading || tag == Tag::Item) {
            separate();
        }
    }

    // The elements an end or start tag does not reach past when looking for an open element.
    enum class Scope { Everything, Table, Cell };
    static Scope scopeFor(Tag tag) {
        switch (tag) {
        case Tag::Table:
            return Scope::Everything;
        case Tag::Row:
        case Tag::DataCell:
        case Tag::HeaderCell:
            return Scope::Table;
        default:
            return Scope::Cell;
        }
    }

    std::optional<std::size_t> findOpen(Tag tag, Scope scope) const {
        for (std::size_t i = stack_.size(); i-- > 0;) {
            const Tag open = stack_[i].tag;
            if (open == tag) {
                return i;
            }
            const bool boundary =
                (scope == Scope::Table && open == Tag::Table) ||
                (scope == Scope::Cell &&
                 (open == Tag::Table || open == Tag::DataCell || open == Tag::HeaderCell));
            if (boundary) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // Closes the open elements from the innermost down to and including stack_[index].
    void closeDownTo(std::size_t index) {
        while (stack_.size() > index) {
            out_.append(QLatin1StringView("</"));
            const Tag tag = stack_.back().tag;
            if (tag == Tag::Heading) {
                out_.append(u'h');
                out_.append(QChar(u'0' + stack_.back().level));
            } else {
                out_.append(writtenName(tag));
            }
            out_.append(u'>');
            stack_.pop_back();
        }
    }

    bool roomFor() const {
        return static_cast<int>(stack_.size()) < PageLimits::depth &&
               elements_ < PageLimits::elements;
    }

    void open(Tag tag, const QString& written, const QString& attributes = {}) {
        out_.append(u'<');
        out_.append(written);
        out_.append(attributes);
        out_.append(u'>');
        stack_.push_back(Open{tag});
        ++elements_;
        pendingSpace_ = false;
    }

    void closeParagraph() {
        if (const auto paragraph = findOpen(Tag::Paragraph, Scope::Cell)) {
            closeDownTo(*paragraph);
        }
    }

    int openTables() const {
        int tables = 0;
        for (const Open& element : stack_) {
            tables += element.tag == Tag::Table ? 1 : 0;
        }
        return tables;
    }

    void startElement(Tag tag, QStringView name, const Attributes& attributes) {
        switch (tag) {
        case Tag::Unknown:
            return;
        case Tag::Break:
        case Tag::LineBreakOnly:
            lineBreak();
            return;
        case Tag::Bold:
        case Tag::Italic:
        case Tag::Underline:
        case Tag::Emphasis:
        case Tag::Strong:
        case Tag::Span:
            if (roomFor()) {
                open(tag, writtenName(tag));
            }
            return;
        case Tag::Font:
            if (roomFor()) {
                open(tag, writtenName(tag), fontAttributes(attributes));
            }
            return;
        case Tag::Link:
            startLink(attributes);
            return;
        case Tag::Paragraph:
        case Tag::Block:
        case Tag::Heading:
            closeParagraph();
            separate();
            if (roomFor()) {
                QString written =
                    tag == Tag::Heading ? name.toString().toLower() : QString(writtenName(tag));
                open(tag, written, alignment(attributes.align));
                if (tag == Tag::Heading) {
                    stack_.back().level = written.back().unicode() - u'0';
                }
            }
            return;
        case Tag::BulletList:
        case Tag::NumberedList:
            closeParagraph();
            separate();
            if (roomFor()) {
                open(tag, writtenName(tag));
            }
            return;
        case Tag::Item:
            startItem();
            return;
        case Tag::Table:
            startTable(attributes);
            return;
        case Tag::Row:
            startRow();
            return;
        case Tag::DataCell:
        case Tag::HeaderCell:
            startCell(tag, attributes);
            return;
        case Tag::Skipped:
            return;
        }
    }

    void startLink(const Attributes& attributes) {
        // Links do not nest: a new one ends the one before, as in browsers.
        if (const auto link = findOpen(Tag::Link, Scope::Cell)) {
            closeDownTo(*link);
        }
        QString attributeText;
        if (attributes.hasHref) {
            const std::optional<QString> address = webAddress(attributes.href);
            if (!address) {
                return;
            }
            attributeText = QLatin1StringView(" href=\"") + escaped(*address) + u'"';
        } else if (!attributes.name.isNull() && attributes.name.size() <= 64) {
            attributeText =
                QLatin1StringView(" name=\"") + escaped(decodeReferences(attributes.name)) + u'"';
        } else {
            return;
        }
        if (roomFor()) {
            open(Tag::Link, writtenName(Tag::Link), attributeText);
        }
    }

    void startItem() {
        if (const auto item = findOpen(Tag::Item, Scope::Cell)) {
            // Only an item of the innermost list is ended by a new item.
            bool listBetween = false;
            for (std::size_t i = *item + 1; i < stack_.size(); ++i) {
                listBetween = listBetween || stack_[i].tag == Tag::BulletList ||
                              stack_[i].tag == Tag::NumberedList;
            }
            if (!listBetween) {
                closeDownTo(*item);
            }
        }
        const bool inList = !stack_.empty() && (stack_.back().tag == Tag::BulletList ||
                                                stack_.back().tag == Tag::NumberedList);
        if (inList && roomFor()) {
            open(Tag::Item, writtenName(Tag::Item));
        } else {
            lineBreak();
        }
    }

    void startTable(const Attributes& attributes) {
        closeParagraph();
        // A table goes in a cell or outside tables, and only while cells are left to fill it.
        const bool betweenCells =
            !stack_.empty() && (stack_.back().tag == Tag::Table || stack_.back().tag == Tag::Row);
        if (droppedTables_ > 0 || openTables() >= PageLimits::tableDepth || betweenCells ||
            cells_ >= PageLimits::cells || !roomFor()) {
            ++droppedTables_;
            separate();
            return;
        }
        QString attributeText;
        bool isNumber = false;
        const int border = attributes.border.trimmed().toInt(&isNumber);
        if (isNumber && border >= 0) {
            attributeText =
                QLatin1StringView(" border=\"") + QString::number(std::min(border, 4)) + u'"';
        }
        attributeText += alignment(attributes.align);
        open(Tag::Table, writtenName(Tag::Table), attributeText);
    }

    // The innermost open table of this page that is kept as a table, if any.
    std::optional<std::size_t> keptTable() const {
        if (droppedTables_ > 0) {
            return std::nullopt;
        }
        return findOpen(Tag::Table, Scope::Everything);
    }

    void startRow() {
        const auto table = keptTable();
        if (!table || stack_[*table].rows >= PageLimits::rowsPerTable ||
            cells_ >= PageLimits::cells || elements_ >= PageLimits::elements) {
            lineBreak();
            return;
        }
        closeDownTo(*table + 1);
        ++stack_[*table].rows;
        open(Tag::Row, writtenName(Tag::Row));
    }

    // Whether a cell can be opened at the innermost open table without passing a bound.
    bool cellHasRoom() const {
        const auto table = keptTable();
        if (!table || elements_ + 2 > PageLimits::elements ||
            static_cast<int>(stack_.size()) + 2 > PageLimits::depth) {
            return false;
        }
        const bool inRow = *table + 1 < stack_.size() && stack_[*table + 1].tag == Tag::Row;
        return cells_ < PageLimits::cells &&
               (inRow ? stack_[*table + 1].cells < PageLimits::cellsPerRow
                      : stack_[*table].rows < PageLimits::rowsPerTable);
    }

    void startCell(Tag tag, const Attributes& attributes) {
        const auto table = keptTable();
        if (!table || cells_ >= PageLimits::cells) {
            separate();
            return;
        }
        const bool inRow = *table + 1 < stack_.size() && stack_[*table + 1].tag == Tag::Row;
        if (!inRow) {
            startRow();
            if (stack_.back().tag != Tag::Row) {
                return;
            }
        } else if (stack_[*table + 1].cells >= PageLimits::cellsPerRow ||
                   cells_ >= PageLimits::cells || elements_ >= PageLimits::elements) {
            separate();
            return;
        } else {
            closeDownTo(*table + 2);
        }
        ++stack_.back().cells;
        ++cells_;
        open(tag, writtenName(tag), alignment(attributes.align));
    }

    // --- attribute values ---------------------------------------------------------------------

    static QString escaped(QStringView value) {
        QString result;
        result.reserve(value.size());
        for (const QChar c : value) {
            switch (c.unicode()) {
            case u'&':
                result.append(QLatin1StringView("&amp;"));
                break;
            case u'<':
                result.append(QLatin1StringView("&lt;"));
                break;
            case u'>':
                result.append(QLatin1StringView("&gt;"));
                break;
            case u'"':
                result.append(QLatin1StringView("&quot;"));
                break;
            default:
                if (!isUnsafeCharacter(c.unicode()) && !c.isSurrogate()) {
                    result.append(c);
                }
            }
        }
        return result;
    }

    // A link's address when it is a web address (http, https) or relative to the page; nothing
    // for any other kind (javascript:, file:, data:, mailto:, ...) or an overlong one.
    static std::optional<QString> webAddress(QStringView href) {
        if (href.size() > PageLimits::address * 8) {
            return std::nullopt;
        }
        // Browsers drop tabs and line feeds anywhere in an address, and spaces around it.
        QString address;
        for (const QChar c : decodeReferences(href)) {
            if (c != u'\t' && c != u'\n' && c != u'\r') {
                address.append(c);
            }
        }
        address = address.trimmed();
        if (address.size() > PageLimits::address) {
            return std::nullopt;
        }
        qsizetype i = 0;
        while (i < address.size() && (isAsciiAlnum(address[i]) || address[i] == u'+' ||
                                      address[i] == u'-' || address[i] == u'.')) {
            ++i;
        }
        const bool hasScheme =
            i > 0 && i < address.size() && address[i] == u':' && isAsciiLetter(address[0]);
        if (hasScheme) {
            const QStringView scheme = QStringView(address).first(i);
            if (scheme.compare(QLatin1StringView("http"), Qt::CaseInsensitive) != 0 &&
                scheme.compare(QLatin1StringView("https"), Qt::CaseInsensitive) != 0) {
                return std::nullopt;
            }
        } else if (address.contains(u':') && !address.startsWith(u'/') &&
                   !address.startsWith(u'?') && !address.startsWith(u'#')) {
            // Something like "java script:" or ":x": not clearly relative, so not a link.
            const qsizetype colon = address.indexOf(u':');
            const qsizetype slash = address.indexOf(u'/');
            if (slash < 0 || colon < slash) {
                return std::nullopt;
            }
        }
        return address;
    }

    static QString alignment(QStringView value) {
        for (const QLatin1StringView kept :
             {QLatin1StringView("left"), QLatin1StringView("center"), QLatin1StringView("right"),
              QLatin1StringView("justify")}) {
            if (value.trimmed().compare(kept, Qt::CaseInsensitive) == 0) {
                return QLatin1StringView(" align=\"") + kept + u'"';
            }
        }
        return {};
    }

    static QString fontAttributes(const Attributes& attributes) {
        QString result;
        const QStringView color = attributes.color.trimmed();
        const bool hexColor = (color.size() == 4 || color.size() == 7) && color.startsWith(u'#') &&
                              std::all_of(color.begin() + 1, color.end(), [](QChar c) {
                                  return isAsciiAlnum(c) && c.toLower().unicode() <= u'f';
                              });
        const bool namedColor = !color.isEmpty() && color.size() <= 20 &&
                                std::all_of(color.begin(), color.end(), isAsciiLetter);
        if (hexColor || namedColor) {
            result += QLatin1StringView(" color=\"");
            result += color;
            result += u'"';
        }
        const QStringView size = attributes.size.trimmed();
        const bool relative = size.size() == 2 && (size[0] == u'+' || size[0] == u'-');
        const QChar digit = relative ? size[1] : (size.size() == 1 ? size[0] : QChar());
        if (digit.unicode() >= u'1' && digit.unicode() <= u'7') {
            result += QLatin1StringView(" size=\"");
            result += size;
            result += u'"';
        }
        return result;
    }

    QStringView in_;
    qsizetype pos_ = 0;
    QString out_;
    std::vector<Open> stack_;
    int elements_ = 0;
    int droppedTables_ = 0;
    int cells_ = 0;
    int breaksInARow_ = 0;
    bool pendingSpace_ = false;
};

} // namespace

QString reducePage(QStringView html) {
    return Reducer(html).run();
}

} // namespace snipora
