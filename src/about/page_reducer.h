// Reduces a web page from the network to small, well-formed HTML that the web panel can lay out
// quickly whatever the page holds.
#pragma once

#include <QString>
#include <QStringView>

namespace snipora {

// Bounds on what a reduced page may hold. Qt's rich-text layout grows exponentially with nested
// tables and slowly with deep nesting or long documents, and the panel is a strip of about
// 457 x 73 pixels showing an advertisement, so these are generous for any real one.
struct PageLimits {
    // Elements open at once; deeper start tags are left out and their text kept.
    static constexpr int depth = 12;
    // Tables inside tables; deeper tables become text, their rows separated by line breaks.
    static constexpr int tableDepth = 2;
    static constexpr int rowsPerTable = 50;
    static constexpr int cellsPerRow = 16;
    // Cells in all tables together: even two levels of tables cost the layout several passes
    // over every cell.
    static constexpr int cells = 48;
    // Start tags kept in the whole page; later ones are left out and their text kept.
    static constexpr int elements = 1000;
    // Characters of output; the page is cut off (with all its elements closed) past this.
    // The layout takes about 1 ms per thousand characters.
    static constexpr int output = 16 * 1024;
    // Longer link addresses are left out, the link's text kept.
    static constexpr int address = 2048;
};

// The page as HTML made only of text, links to web addresses (`a href` with http, https or a
// relative address, resolved against the page's own address), line breaks, paragraphs and
// blocks, headings, simple lists, tables nested at most PageLimits::tableDepth deep, and a little
// inline formatting (b, i, u, em, strong, span, font colour and size). Scripts, styles, comments,
// pictures, frames, forms and every other element or attribute are left out, so nothing else is
// ever fetched. Entities are decoded and everything re-emitted is escaped; every element is
// closed. Runs in time linear in the page's length, for any input.
QString reducePage(QStringView html);

} // namespace snipora
