// Convert Save of every piece that is on, one after another, into one folder.
#pragma once

#include "core/convert_save.h"
#include "core/pieces.h"
#include "core/split_save.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace snipora {

struct SplitConvertJob {
    QString programFolder; // holds the encoder link `ffmpeg`
    int sourceHandle = -1; // the source as opened; the encoder reads it through this process
    QString sourceName;    // its file name without the extension, for %s
    QString folder;        // made when missing
    QString pattern = QString::fromLatin1(defaultPiecePattern);
    bool overwrite = false;
    std::vector<Piece> pieces; // all of them; those switched off are left out
    QString format;            // as the format list shows it
    QString bitrate;           // empty for the lossless formats
    std::int64_t fadeInMs = 0; // at every piece's edges, to the sample
    std::int64_t fadeOutMs = 0;
};

// Each piece goes through Convert Save (the encoder, its check, the target replaced only by a
// checked output), with the tags a Direct Save piece gets handed to the encoder: the piece's
// title, its track number n/N, the source's album or else its title; no length or chapters of
// the whole. Names come from the pattern with the format's extension. Every refusal (an
// existing file, a folder that cannot be made) comes before the first piece is encoded; a
// failure or a cancel keeps the finished pieces and says which.
class SplitConvert : public QObject {
    Q_OBJECT
public:
    explicit SplitConvert(ProcessLauncher& launcher, QObject* parent = nullptr);
    // Ends the encoder of a piece under way and removes its file.
    ~SplitConvert() override;

    // Starts the job; finished follows from the event loop.
    void start(const SplitConvertJob& job);
    // Ends the piece under way; the finished pieces stay.
    void cancel();

signals:
    void pieceWritten(const QString& path);
    void finished(const snipora::SplitSaveOutcome& outcome);

private:
    void next();
    void pieceFinished(const SaveOutcome& outcome);
    void finish(const std::optional<QString>& failure);

    ProcessLauncher& launcher_;
    std::unique_ptr<ConvertSave> convert_;
    SplitConvertJob job_;
    std::vector<Piece> saved_;
    QStringList paths_;
    QString album_;
    SplitSaveOutcome outcome_;
    std::size_t current_ = 0;
};

} // namespace snipora
