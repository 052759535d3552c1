// The peaks cache's entries: identity, writing, checking and the bound on their total size.
#include "core/peak_cache.h"

#include "platform/logging.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snipora {

namespace {

constexpr std::int64_t edgeBytes = 1024 * 1024;
constexpr char magic[] = "SNIPORA-PEAKS-1";
constexpr auto entrySuffix = ".peaks";

// Reads [offset, offset + count) or less at the file's end.
QByteArray readAt(int fd, std::int64_t offset, std::int64_t count) {
    QByteArray bytes(static_cast<qsizetype>(count), '\0');
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, bytes.data() + done, static_cast<std::size_t>(count - done),
                                    static_cast<off_t>(offset + done));
        if (got <= 0) {
            break;
        }
        done += got;
    }
    bytes.truncate(static_cast<qsizetype>(done));
    return bytes;
}

// The bytes of an entry before its closing checksum.
QByteArray entryBody(const PeakFileIdentity& identity, const WaveformPeaks& peaks) {
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out.writeRawData(magic, sizeof magic);
    out << qint64(identity.size) << qint64(identity.modifiedNs) << identity.edgesHash;
    const PeakLayout& layout = peaks.layout();
    out << qint32(layout.rate) << qint32(layout.bucketSamples) << qint64(peaks.bucketCount());
    out.writeRawData(reinterpret_cast<const char*>(peaks.ranges().data()),
                     static_cast<int>(peaks.bucketCount() * 2));
    return body;
}

QByteArray checksum(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

} // namespace

QString PeakFileIdentity::entryName() const {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::number(static_cast<qint64>(size)) + ' ' +
                 QByteArray::number(static_cast<qint64>(modifiedNs)) + ' ');
    hash.addData(edgesHash);
    return QString::fromLatin1(hash.result().toHex()) + QLatin1String(entrySuffix);
}

std::optional<PeakFileIdentity> identifyPeakFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::optional<PeakFileIdentity> identity;
    if (::fstat(fd, &info) == 0) {
        identity.emplace();
        identity->size = info.st_size;
        identity->modifiedNs =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(readAt(fd, 0, edgeBytes));
        if (info.st_size > edgeBytes) {
            const std::int64_t tail = std::max<std::int64_t>(edgeBytes, info.st_size - edgeBytes);
            hash.addData(readAt(fd, tail, info.st_size - tail));
        }
        identity->edgesHash = hash.result();
    }
    ::close(fd);
    return identity;
}

PeakCache::PeakCache(QString folder, std::int64_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

QString PeakCache::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/peaks");
}

std::optional<WaveformPeaks> PeakCache::load(const PeakFileIdentity& identity) const {
    const QString name = QDir(folder_).filePath(identity.entryName());
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(logPeaks) << "no cached peaks for this file version:" << name;
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const auto damaged = [&name](const char* why) -> std::optional<WaveformPeaks> {
        qCWarning(logPeaks) << "cached peaks ignored and removed," << why << ":" << name;
        QFile::remove(name);
        return std::nullopt;
    };
    const qsizetype sumBytes = 20;
    if (bytes.size() < sumBytes || checksum(QByteArrayView(bytes).first(bytes.size() - sumBytes)) !=
                                       QByteArrayView(bytes).last(sumBytes)) {
        return damaged("damaged or cut short");
    }
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    char head[sizeof magic] = {};
    in.readRawData(head, sizeof head);
    PeakFileIdentity stored;
    qint64 size = 0;
    qint64 modified = 0;
    qint32 rate = 0;
    qint32 bucketSamples = 0;
    qint64 count = 0;
    in >> size >> modified >> stored.edgesHash >> rate >> bucketSamples >> count;
    stored.size = size;
    stored.modifiedNs = modified;
    if (in.status() != QDataStream::Ok || std::memcmp(head, magic, sizeof magic) != 0 ||
        !(stored == identity)) {
        return damaged("not an entry of this file");
    }
    const PeakLayout layout{rate, bucketSamples, count};
    const qsizetype at = static_cast<qsizetype>(in.device()->pos());
    if (!layout.valid() || count < 0 || at + count * 2 + sumBytes != bytes.size()) {
        return damaged("of a wrong length");
    }
    WaveformPeaks peaks(layout);
    std::vector<PeakRange> ranges(static_cast<std::size_t>(count));
    std::memcpy(ranges.data(), bytes.constData() + at, static_cast<std::size_t>(count * 2));
    peaks.append(ranges);
    peaks.finish();
    // Used now: the bound takes out the entries used longest ago.
    QFile touched(name);
    if (touched.open(QIODevice::ReadWrite)) {
        touched.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    }
    return peaks;
}

bool PeakCache::store(const PeakFileIdentity& identity, const WaveformPeaks& peaks) const {
    if (!QDir().mkpath(folder_)) {
        qCWarning(logPeaks) << "peaks cache folder cannot be made:" << folder_;
        return false;
    }
    const QString name = QDir(folder_).filePath(identity.entryName());
    QByteArray bytes = entryBody(identity, peaks);
    bytes += checksum(bytes);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(logPeaks) << "peaks cache entry not written:" << name << file.errorString();
        return false;
    }
    keepWithinBound(name);
    return true;
}

void PeakCache::keepWithinBound(const QString& kept) const {
    QFileInfoList entries =
        QDir(folder_).entryInfoList({QStringLiteral("*") + QLatin1String(entrySuffix)}, QDir::Files,
                                    QDir::Time | QDir::Reversed); // oldest first
    std::int64_t total = 0;
    for (const QFileInfo& entry : entries) {
        total += entry.size();
    }
    for (const QFileInfo& entry : entries) {
        if (total <= maxBytes_) {
            break;
        }
        if (entry.absoluteFilePath() != QFileInfo(kept).absoluteFilePath() &&
            QFile::remove(entry.absoluteFilePath())) {
            total -= entry.size();
        }
    }
}

} // namespace snipora
