// Save all: the frame cut of every piece, tagged, checked and named without replacing by accident.
#include "core/split_save.h"
#include "core/core_text.h"

#include "core/file_identity.h"
#include "core/mp3_cut.h"
#include "core/mp3_frame_map.h"
#include "core/mp3_gain_fade.h"
#include "core/piece_tags.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {

// 255 bytes is the longest name ext4 and most others take.
constexpr qsizetype maximumNameBytes = 255;

QString safeName(const QString& name) {
    QString safe;
    for (const QChar c : name) {
        const bool refused =
            c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c);
        safe += refused ? QLatin1Char('_') : c;
    }
    safe = safe.trimmed();
    // A leading dot would hide the file, and "." or ".." name folders.
    if (safe.startsWith(QLatin1Char('.'))) {
        safe[0] = QLatin1Char('_');
    }
    return safe;
}

QString limited(QString name, qsizetype reservedBytes) {
    while (name.toUtf8().size() + reservedBytes > maximumNameBytes && !name.isEmpty()) {
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    }
    return name;
}

// What a new file's permissions would be: the process's umask read without changing it (setting
// and restoring it would race with other threads creating files).
QFileDevice::Permissions newFilePermissions() {
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                mask = static_cast<mode_t>(line.mid(6).trimmed().toUInt(nullptr, 8));
            }
        }
    }
    const mode_t mode = 0666 & ~mask;
    QFileDevice::Permissions permissions;
    const std::pair<mode_t, QFileDevice::Permission> bits[] = {
        {0400, QFileDevice::ReadOwner}, {0200, QFileDevice::WriteOwner},
        {0040, QFileDevice::ReadGroup}, {0020, QFileDevice::WriteGroup},
        {0004, QFileDevice::ReadOther}, {0002, QFileDevice::WriteOther}};
    for (const auto& [bit, permission] : bits) {
        if (mode & bit) {
            permissions |= permission;
        }
    }
    return permissions;
}

QString doneText(const QStringList& written) {
    if (written.isEmpty()) {
        return CoreText::tr("no piece was written");
    }
    QStringList names;
    for (const QString& path : written) {
        names << QFileInfo(path).fileName();
    }
    return CoreText::tr("%1 written (%2)")
        .arg(written.size() == 1 ? CoreText::tr("1 piece was")
                                 : CoreText::tr("%1 pieces were").arg(written.size()),
             names.join(QStringLiteral(", ")));
}

// Gives the finished piece its name; never replaces a file unless asked to.
bool moveIntoPlace(const QString& from, const QString& to, bool overwrite, QString* error) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    const int result = overwrite ? std::rename(source.constData(), target.constData())
                                 : ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD,
                                               target.constData(), RENAME_NOREPLACE);
    if (result != 0) {
        *error = errno == EEXIST ? CoreText::tr("%1 appeared meanwhile").arg(to)
                                 : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

QString pieceTitle(const Piece& piece, int number) {
    return piece.title.trimmed().isEmpty() ? CoreText::tr("Piece %1").arg(number) : piece.title;
}

QStringList pieceFileNames(const std::vector<Piece>& saved, const QString& pattern,
                           const QString& sourceName) {
    const int digits = std::max(2, static_cast<int>(QString::number(saved.size()).size()));
    QStringList names;
    QSet<QString> taken;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const QString number = QStringLiteral("%1").arg(i + 1, digits, 10, QLatin1Char('0'));
        const QString title = pieceTitle(saved[i], int(i) + 1);
        QString name;
        for (qsizetype at = 0; at < pattern.size(); ++at) {
            const QChar c = pattern[at];
            const QChar next = at + 1 < pattern.size() ? pattern[at + 1] : QChar();
            if (c != QLatin1Char('%') || !QStringLiteral("nts%").contains(next) || next.isNull()) {
                name += c;
                continue;
            }
            ++at;
            name += next == QLatin1Char('n')   ? number
                    : next == QLatin1Char('t') ? title
                    : next == QLatin1Char('s') ? sourceName
                                               : QStringLiteral("%");
        }
        name = safeName(name);
        if (name.isEmpty()) {
            name = CoreText::tr("Piece %1").arg(number);
        }
        name = limited(name, 12); // room for " (nn).mp3"
        QString unique = name;
        for (int copy = 2; taken.contains(unique.toCaseFolded()); ++copy) {
            unique = QStringLiteral("%1 (%2)").arg(name).arg(copy);
        }
        taken.insert(unique.toCaseFolded());
        names << unique + QStringLiteral(".mp3");
    }
    return names;
}

SplitSaveOutcome runSplitSave(const SplitSaveJob& job, const SaveProgress& progress) {
    SplitSaveOutcome outcome;
    const auto fail = [&outcome](const QString& reason) {
        outcome.failure = reason;
        return outcome;
    };
    std::vector<Piece> saved;
    for (const Piece& piece : job.pieces) {
        if (piece.enabled) {
            saved.push_back(piece);
        }
    }
    if (saved.empty()) {
        return fail(CoreText::tr("every piece is switched off"));
    }
    QString error;
    const std::optional<Mp3FrameMap> map = Mp3FrameMap::scan(job.sourceHandle, &error);
    if (!map) {
        return fail(error);
    }
    // The source's tags, which every piece's are made from.
    QByteArray sourceId3v2(map->id3v2Size(), '\0');
    QByteArray sourceId3v1;
    if (const auto at = map->id3v1Offset()) {
        sourceId3v1.resize(128);
        if (!readAt(job.sourceHandle, sourceId3v1.data(), sourceId3v1.size(), *at)) {
            return fail(CoreText::tr("the source's tags could not be read"));
        }
    }
    if (!readAt(job.sourceHandle, sourceId3v2.data(), sourceId3v2.size(), 0)) {
        return fail(CoreText::tr("the source's tags could not be read"));
    }
    if (!QDir().mkpath(job.folder)) {
        return fail(CoreText::tr("could not make the folder %1").arg(job.folder));
    }
    const QDir folder(job.folder);
    const QStringList names = pieceFileNames(saved, job.pattern, job.sourceName);

    // Every refusal comes before the first byte is written.
    QStringList existing;
    std::vector<Mp3CutPlan> plans;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const QString path = folder.filePath(names[qsizetype(i)]);
        if (isOpenFile(path, job.sourceHandle)) {
            return fail(CoreText::tr("%1 would replace the source").arg(path));
        }
        if (!job.overwrite && QFileInfo::exists(path)) {
            existing << names[qsizetype(i)];
        }
        auto plan = planMp3Cut(job.sourceHandle, *map, saved[i].startMs, saved[i].endMs, &error);
        if (!plan) {
            return fail(
                CoreText::tr("piece %1 (%2): %3").arg(i + 1).arg(names[qsizetype(i)], error));
        }
        if (job.fadeInMs > 0 || job.fadeOutMs > 0) {
            const FittedFades fades =
                fitFades(job.fadeInMs, job.fadeOutMs, map->sampleRate(), plan->samples());
            if (fades.shortened) {
                outcome.notices << QStringLiteral(
                                       "piece %1 (%2) is shorter than the fades "
                                       "together: they were shortened to %3 ms and %4 ms")
                                       .arg(i + 1)
                                       .arg(names[qsizetype(i)])
                                       .arg(fades.inSamples * 1000 / map->sampleRate())
                                       .arg(fades.outSamples * 1000 / map->sampleRate());
            }
            if (auto failure = addMp3Fades(job.sourceHandle, *map, fades, *plan)) {
                return fail(CoreText::tr("piece %1 (%2): %3")
                                .arg(i + 1)
                                .arg(names[qsizetype(i)], *failure));
            }
        }
        const int number = int(i) + 1;
        PieceTags tags = pieceTags(sourceId3v2, sourceId3v1, pieceTitle(saved[i], number), number,
                                   int(saved.size()));
        plan->id3v2Tag = std::move(tags.id3v2);
        if (!tags.id3v1.isEmpty()) {
            plan->id3v1Tag = std::move(tags.id3v1);
        }
        plan->outputBytes = mp3CutOutputBytes(*map, *plan);
        total += plan->outputBytes;
        plans.push_back(*plan);
    }
    if (!existing.isEmpty()) {
        return fail(CoreText::tr("%1 already exist%2 in %3; nothing was written")
                        .arg(existing.join(QStringLiteral(", ")),
                             existing.size() == 1 ? QStringLiteral("s") : QString(), job.folder));
    }

    const QFileDevice::Permissions permissions = newFilePermissions();
    std::int64_t before = 0;
    const auto count = static_cast<int>(saved.size());
    for (int i = 0; i < count; ++i) {
        const auto index = std::size_t(i);
        const QString path = folder.filePath(names[i]);
        const auto failPiece = [&](const QString& reason) {
            return fail(CoreText::tr("piece %1 (%2) %3; %4")
                            .arg(i + 1)
                            .arg(names[i], reason, doneText(outcome.written)));
        };
        // Hidden beside its final place, so that naming it is a rename in one file system.
        QTemporaryFile pending(folder.filePath(QStringLiteral(".snipora-XXXXXX.tmp")));
        if (!pending.open()) {
            return failPiece(CoreText::tr("could not be created: %1").arg(pending.errorString()));
        }
        // A temporary file is the owner's alone; a piece is as any new file of the user's.
        pending.setPermissions(permissions);
        const auto cut = writeMp3Cut(job.sourceHandle, *map, plans[index], pending,
                                     [&](std::int64_t done, std::int64_t) {
                                         return !progress || progress(before + done, total);
                                     });
        if (cut) {
            return failPiece(cut.isCancelled() ? CoreText::tr("was stopped")
                                               : CoreText::tr("failed: ") + cut.reason());
        }
        pending.close();
        if (auto failure = checkMp3Cut(pending.fileName(), plans[index].samples())) {
            return failPiece(CoreText::tr("failed its check: ") + *failure);
        }
        if (!moveIntoPlace(pending.fileName(), path, job.overwrite, &error)) {
            return failPiece(CoreText::tr("could not be named: ") + error);
        }
        pending.setAutoRemove(false);
        outcome.written << path;
        before += plans[index].outputBytes;
    }
    return outcome;
}

SplitSave::SplitSave(QObject* parent) : QObject(parent) {}

SplitSave::~SplitSave() {
    if (thread_) {
        cancel();
        thread_->wait();
        delete thread_;
    }
}

bool SplitSave::start(const SplitSaveJob& job) {
    if (thread_) {
        return false;
    }
    SplitSaveJob own = job;
    own.sourceHandle = ::fcntl(job.sourceHandle, F_DUPFD_CLOEXEC, 0);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancelled_ = cancelled;
    thread_ = QThread::create([this, own, cancelled] {
        std::int64_t shown = -1;
        SplitSaveOutcome outcome;
        if (own.sourceHandle < 0) {
            outcome.failure = CoreText::tr("the source cannot be read");
        } else {
            outcome = runSplitSave(own, [&](std::int64_t done, std::int64_t total) {
                // Progress goes to the window at most a few hundred times per job.
                const std::int64_t step = std::max<std::int64_t>(total / 256, 1);
                if (done / step != shown) {
                    shown = done / step;
                    QMetaObject::invokeMethod(
                        this, [this, done, total] { emit progress(done, total); },
                        Qt::QueuedConnection);
                }
                return !cancelled->load();
            });
            ::close(own.sourceHandle);
        }
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

void SplitSave::cancel() {
    if (cancelled_) {
        cancelled_->store(true);
    }
}

} // namespace snipora
