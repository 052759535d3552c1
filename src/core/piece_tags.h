// The ID3 tags of a saved piece: the source's, with the piece's title and track number.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace snipora {

// A piece's tags as bytes, ready to be written before and after its frames.
struct PieceTags {
    QByteArray id3v2;
    QByteArray id3v1; // empty when the source had none
};

// The tags of a piece, made in memory from the source's (`sourceId3v2` and `sourceId3v1`, its
// tags' bytes as they stand in the file, either may be empty): title (TIT2) `title`, track
// (TRCK) "number/count", album (TALB) the source's album or, failing that, the source's title;
// the source's length (TLEN) and its chapters (CHAP, CTOC) are dropped, since they describe
// the whole source. Everything else stays, the cover too. Rendered with TagLib, in the ID3v2
// version the source used (2.4 when it had none).
PieceTags pieceTags(const QByteArray& sourceId3v2, const QByteArray& sourceId3v1,
                    const QString& title, int number, int count);

} // namespace snipora
