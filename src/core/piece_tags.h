// The ID3 tags of a saved piece: the source's, with the piece's title and track number.
#pragma once

#include <QString>

#include <optional>

namespace snipora {

// Rewrites the tags of the piece at `path`, which carries a copy of the source's: title (TIT2)
// `title`, track (TRCK) "number/count", album (TALB) the source's album or, failing that, the
// source's title; the source's length (TLEN) and its chapters (CHAP, CTOC) are dropped, since they
// describe the whole source. Everything else stays, the cover too. Written with TagLib, in the
// ID3v2 version the source used. Nullopt on success, else why not.
std::optional<QString> tagPiece(const QString& path, const QString& title, int number, int count);

} // namespace snipora
