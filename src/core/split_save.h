// Save all: every piece that is on, by Direct Save, into one folder under names from a pattern.
#pragma once

#include "core/direct_save.h"
#include "core/pieces.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace snipora {

inline constexpr auto defaultPiecePattern = "%n - %t";

// The title a piece's tag and name carry: its own, or "Piece n" (its number among those saved).
QString pieceTitle(const Piece& piece, int number);

// The file names of `saved` pieces (all of them switched on, in order) from `pattern`: %n the
// piece's number among them (two digits, more from a hundred pieces on), %t its pieceTitle(), %s
// `sourceName`, %% a percent sign. A character no file name may hold ('/', and those FAT and SMB
// refuse too) becomes '_'; a name that would clash with an earlier one, in any letter case, gets "
// (2)", " (3)"... Each ends in ".mp3".
QStringList pieceFileNames(const std::vector<Piece>& saved, const QString& pattern,
                           const QString& sourceName);

struct SplitSaveJob {
    int sourceHandle = -1; // the source as opened
    QString sourceName;    // its file name without the extension, for %s
    QString folder;        // made when missing
    QString pattern = QString::fromLatin1(defaultPiecePattern);
    bool overwrite = false; // else an existing file of the same name stops the job before it starts
    std::vector<Piece> pieces; // all of them; those switched off are left out
};

struct SplitSaveOutcome {
    QStringList written;            // the finished pieces' paths, in order
    std::optional<QString> failure; // nullopt when every piece was written and checked
};

// Writes each piece through the frame cut into a hidden temporary file in the folder, tags it,
// decodes it back to check its length, and only then gives it its name. A failed or cancelled
// piece leaves nothing; the pieces before it stay, and the failure names them. Progress counts
// bytes over the whole job. Runs in the calling thread.
SplitSaveOutcome runSplitSave(const SplitSaveJob& job, const SaveProgress& progress);

} // namespace snipora
