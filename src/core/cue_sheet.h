// Cue sheets read with libcue: where each track starts in the file, and its title.
#pragma once

#include "core/pieces.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace snipora {

struct CueTrack {
    std::int64_t startMs = 0; // its INDEX 01, from the start of the file
    QString title;
    QString performer;
};

struct CueSheet {
    QString title;
    QString performer;
    QString file; // what its FILE line names, as written
    std::vector<CueTrack> tracks;
};

// Parses a sheet's text (UTF-8, with or without a byte order mark; text that is not UTF-8 is read
// as Windows-1252, which most older rippers wrote). Nullopt with `problem` set when libcue cannot
// read it, it has no track, its times run backwards, or its tracks lie in several files.
std::optional<CueSheet> parseCueSheet(const QByteArray& text, QString* problem);

// Reads and checks the sheet at `path` against a source of `lengthMs`; on failure `error` names
// the sheet and says what is wrong with it.
std::optional<CueSheet> readCueSheet(const QString& path, std::int64_t lengthMs, QString* error);

// A track's piece title: its title, preceded by its performer where that differs from the album's.
QString cueTrackTitle(const CueSheet& sheet, const CueTrack& track);

// The pieces as a cue sheet for `file` (UTF-8, CRLF line ends as most rippers write): one TRACK per
// piece with its TITLE and INDEX 01, its start rounded to the nearest 1/75 s. A double quote,
// which no cue sheet can hold inside a quoted text, becomes a single one.
QByteArray cueSheetText(const std::vector<Piece>& pieces, const QString& file,
                        const QString& title);

// Split points at every track's start after the first (the first piece takes whatever precedes the
// first track), titled from the sheet; `pieces` must cover the sheet's source.
void applyCueSheet(const CueSheet& sheet, PieceList& pieces);

} // namespace snipora
