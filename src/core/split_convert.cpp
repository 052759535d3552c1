// Convert Save of the pieces: one encoder after another, each output checked before it is named.
#include "core/split_convert.h"
#include "core/core_text.h"

#include "core/file_identity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <mpegfile.h>
#include <tag.h>

namespace snipora {

namespace {

// The path through which the encoder reads the source as this process opened it.
QString openedPath(int handle) {
    return QStringLiteral("/proc/%1/fd/%2").arg(QCoreApplication::applicationPid()).arg(handle);
}

// The source's album or, failing that, its title, as a Direct Save piece is tagged.
QString albumOf(int handle) {
    TagLib::MPEG::File file(QFile::encodeName(openedPath(handle)).constData(), false);
    if (!file.isValid()) {
        return {};
    }
    const TagLib::String album = file.tag()->album();
    return QString::fromStdString((album.isEmpty() ? file.tag()->title() : album).to8Bit(true));
}

QString pieceList(const QStringList& written) {
    QStringList names;
    for (const QString& path : written) {
        names << QFileInfo(path).fileName();
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

SplitConvert::SplitConvert(ProcessLauncher& launcher, QObject* parent)
    : QObject(parent), launcher_(launcher) {}

SplitConvert::~SplitConvert() {
    if (convert_) {
        convert_->abandon();
    }
}

void SplitConvert::start(const SplitConvertJob& job) {
    job_ = job;
    outcome_ = {};
    saved_.clear();
    paths_.clear();
    current_ = 0;
    for (const Piece& piece : job.pieces) {
        if (piece.enabled) {
            saved_.push_back(piece);
        }
    }
    if (saved_.empty()) {
        finish(CoreText::tr("every piece is switched off"));
        return;
    }
    if (!QDir().mkpath(job.folder)) {
        finish(CoreText::tr("could not make the folder %1").arg(job.folder));
        return;
    }
    const QDir folder(job.folder);
    QStringList existing;
    for (const QString& name : pieceFileNames(saved_, job.pattern, job.sourceName)) {
        const QString path = withFormatExtension(folder.filePath(name), job.format);
        if (isOpenFile(path, job.sourceHandle)) {
            finish(CoreText::tr("%1 would replace the source").arg(path));
            return;
        }
        if (!job.overwrite && QFileInfo::exists(path)) {
            existing << QFileInfo(path).fileName();
        }
        paths_ << path;
    }
    if (!existing.isEmpty()) {
        finish(CoreText::tr("%1 already exist%2 in %3; nothing was written")
                   .arg(existing.join(QStringLiteral(", ")),
                        existing.size() == 1 ? QStringLiteral("s") : QString(), job.folder));
        return;
    }
    album_ = albumOf(job.sourceHandle);
    next();
}

void SplitConvert::cancel() {
    if (convert_) {
        convert_->cancel();
    }
}

void SplitConvert::next() {
    if (current_ == saved_.size()) {
        finish(std::nullopt);
        return;
    }
    const Piece& piece = saved_[current_];
    const int number = int(current_) + 1;
    ConvertSaveJob job{job_.programFolder,
                       Selection{piece.startMs, piece.endMs},
                       openedPath(job_.sourceHandle),
                       job_.format,
                       job_.bitrate,
                       paths_[qsizetype(current_)]};
    job.fadeInMs = job_.fadeInMs;
    job.fadeOutMs = job_.fadeOutMs;
    // The length of the whole would be wrong for a piece; an empty value removes it.
    job.tags = {{QStringLiteral("title"), pieceTitle(piece, number)},
                {QStringLiteral("track"), QStringLiteral("%1/%2").arg(number).arg(saved_.size())},
                {QStringLiteral("album"), album_},
                {QStringLiteral("TLEN"), QString()}};
    convert_ = std::make_unique<ConvertSave>(launcher_);
    connect(convert_.get(), &ConvertSave::finished, this, &SplitConvert::pieceFinished);
    convert_->start(job);
}

void SplitConvert::pieceFinished(const SaveOutcome& outcome) {
    // The save reports from its own handler: it goes once that has returned.
    convert_.release()->deleteLater();
    const QString name = QFileInfo(paths_[qsizetype(current_)]).fileName();
    if (!outcome.isDone()) {
        const QString done = outcome_.written.isEmpty()
                                 ? CoreText::tr("no piece was written")
                                 : CoreText::tr("written: %1").arg(pieceList(outcome_.written));
        finish(CoreText::tr("piece %1 (%2): %3; %4")
                   .arg(current_ + 1)
                   .arg(name, outcomeMessage(SaveKind::Convert, outcome), done));
        return;
    }
    outcome_.written << paths_[qsizetype(current_)];
    emit pieceWritten(paths_[qsizetype(current_)]);
    ++current_;
    next();
}

void SplitConvert::finish(const std::optional<QString>& failure) {
    outcome_.failure = failure;
    // From the event loop, also when start() refuses at once.
    QMetaObject::invokeMethod(
        this, [this, outcome = outcome_] { emit finished(outcome); }, Qt::QueuedConnection);
}

} // namespace snipora
