// Save all: every piece that is on, by Direct Save, into one folder under names from a pattern.
#pragma once

#include "core/direct_save.h"
#include "core/pieces.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

#include <optional>
#include <vector>

class QThread;

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
    // Fades at the edges of every piece, by the frames' global gains; 0 for none. Fades longer
    // than a piece together are shortened to fit it.
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;
};

struct SplitSaveOutcome {
    QStringList written;            // the finished pieces' paths, in order
    std::optional<QString> failure; // nullopt when every piece was written and checked
    QStringList notices;            // what the save changed of what was asked (shortened fades)
};

// Writes each piece, with its tags made in memory, in one pass through the frame cut into a
// hidden temporary file in the folder, decodes it back to check its length, and only then gives
// it its name. A failed or cancelled piece leaves nothing; the pieces before it stay, and the
// failure names them. Progress counts bytes over the whole job. Runs in the calling thread.
SplitSaveOutcome runSplitSave(const SplitSaveJob& job, const SaveProgress& progress);

// Runs Save all on a worker thread, so that the window answers during it; one progress over the
// whole job and the outcome come back through queued signals.
class SplitSave : public QObject {
    Q_OBJECT
public:
    explicit SplitSave(QObject* parent = nullptr);
    // Stops a running job and waits for its thread.
    ~SplitSave() override;

    // Reads a duplicate of the job's source handle, which the caller may close at once. False
    // while a job is running.
    bool start(const SplitSaveJob& job);
    // Stops at the next write; the finished pieces stay.
    void cancel();
    bool isRunning() const { return thread_ != nullptr; }

signals:
    void progress(std::int64_t done, std::int64_t total);
    void finished(const snipora::SplitSaveOutcome& outcome);

private:
    QThread* thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

} // namespace snipora
