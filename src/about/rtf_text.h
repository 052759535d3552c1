// The text of a rich text (RTF) document, for boxes that show text without its formatting.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace snipora {

// True when the data starts as a rich text document does, with "{\rtf".
bool looksLikeRtf(QByteArrayView data);

// The document's text: paragraphs and line breaks become line feeds, tabs and cells tabs,
// escaped and Unicode characters are decoded, and the parts that are not text (font, colour and
// style tables, pictures, objects, document information, ignorable destinations) are left out.
// Any input gives a result: damaged or cut-off documents give what text could be read.
QString rtfToText(QByteArrayView rtf);

} // namespace snipora
