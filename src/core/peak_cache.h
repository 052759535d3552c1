// The peaks cache: a file's finished peak overview kept on disk by the file's identity.
#pragma once

#include "core/waveform_peaks.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace snipora {

// What tells one version of a file from another without reading all of it: its size, its
// modification time and a hash of its first and last megabyte.
struct PeakFileIdentity {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    QByteArray edgesHash;
    // The entry's file name: the same for the same identity, another for any change.
    QString entryName() const;
    friend bool operator==(const PeakFileIdentity&, const PeakFileIdentity&) = default;
};

// Nullopt when the file at `path` (bytes as the file system spells them) cannot be read.
std::optional<PeakFileIdentity> identifyPeakFile(const QByteArray& path);

// Entries in one folder, at most `maxBytes` of them together: storing one takes out the least
// recently used until the rest fit. An entry is written whole or not at all; one that does not
// read right (damaged, cut short, of another identity) is ignored and removed.
class PeakCache {
public:
    static constexpr std::int64_t defaultMaxBytes = 200LL * 1024 * 1024;

    explicit PeakCache(QString folder, std::int64_t maxBytes = defaultMaxBytes);
    // The user's cache folder for peaks (QStandardPaths::CacheLocation).
    static QString defaultFolder();

    const QString& folder() const { return folder_; }
    std::optional<WaveformPeaks> load(const PeakFileIdentity& identity) const;
    // False when the entry could not be written; nothing is left half-written.
    bool store(const PeakFileIdentity& identity, const WaveformPeaks& peaks) const;

private:
    void keepWithinBound(const QString& kept) const;

    QString folder_;
    std::int64_t maxBytes_;
};

} // namespace snipora
