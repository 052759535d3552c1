// Cue sheets: libcue parses, this checks the times and turns the tracks into titled pieces.
#include "core/cue_sheet.h"
#include "core/core_text.h"

#include "core/time_text.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <memory>

#include <libcue/libcue.h>

namespace snipora {

namespace {

constexpr std::int64_t cueFramesPerSecond = 75;

QString decodeText(const char* bytes) {
    if (!bytes) {
        return {};
    }
    const QByteArray raw(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (utf8.hasError()) {
        QStringDecoder windows("windows-1252");
        text = windows.isValid() ? windows.decode(raw) : QString::fromLatin1(raw);
    }
    return text.trimmed();
}

QString cdText(Pti field, const Cdtext* text) {
    return text ? decodeText(cdtext_get(field, text)) : QString();
}

} // namespace

std::optional<CueSheet> parseCueSheet(const QByteArray& text, QString* problem) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    }
    const std::unique_ptr<Cd, void (*)(Cd*)> cd(cue_parse_string(body.constData()), cd_delete);
    if (!cd) {
        *problem = CoreText::tr("libcue cannot read it");
        return std::nullopt;
    }
    CueSheet sheet;
    sheet.title = cdText(PTI_TITLE, cd_get_cdtext(cd.get()));
    sheet.performer = cdText(PTI_PERFORMER, cd_get_cdtext(cd.get()));
    const int count = cd_get_ntrack(cd.get());
    if (count <= 0) {
        *problem = CoreText::tr("it lists no track");
        return std::nullopt;
    }
    for (int number = 1; number <= count; ++number) {
        const Track* track = cd_get_track(cd.get(), number);
        const QString file = decodeText(track_get_filename(track));
        if (number == 1) {
            sheet.file = file;
        } else if (file != sheet.file) {
            // Each file's times start at 0: they cannot be split points of one source.
            *problem =
                CoreText::tr("its tracks lie in several files (%1, %2)").arg(sheet.file, file);
            return std::nullopt;
        }
        const long frames = track_get_start(track);
        if (frames < 0) {
            *problem = CoreText::tr("track %1 has no INDEX 01").arg(number);
            return std::nullopt;
        }
        CueTrack entry;
        // Rounded to the nearest millisecond: a cue frame is 13 1/3 ms.
        entry.startMs = (static_cast<std::int64_t>(frames) * 1000 + cueFramesPerSecond / 2) /
                        cueFramesPerSecond;
        entry.title = cdText(PTI_TITLE, track_get_cdtext(track));
        entry.performer = cdText(PTI_PERFORMER, track_get_cdtext(track));
        if (!sheet.tracks.empty() && entry.startMs <= sheet.tracks.back().startMs) {
            *problem = CoreText::tr("track %1 starts at %2, not after track %3 (%4)")
                           .arg(number)
                           .arg(preciseTime(entry.startMs))
                           .arg(number - 1)
                           .arg(preciseTime(sheet.tracks.back().startMs));
            return std::nullopt;
        }
        sheet.tracks.push_back(entry);
    }
    return sheet;
}

std::optional<CueSheet> readCueSheet(const QString& path, std::int64_t lengthMs, QString* error) {
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = CoreText::tr("cannot read the cue sheet %1: %2").arg(name, file.errorString());
        return std::nullopt;
    }
    // Real sheets are a few kilobytes; anything far larger is not one.
    const QByteArray text = file.read(1 << 20);
    QString problem;
    std::optional<CueSheet> sheet = parseCueSheet(text, &problem);
    if (sheet && sheet->tracks.back().startMs >= lengthMs) {
        problem = CoreText::tr("track %1 starts at %2, past the end of the file (%3)")
                      .arg(sheet->tracks.size())
                      .arg(preciseTime(sheet->tracks.back().startMs), preciseTime(lengthMs));
    } else if (sheet) {
        return sheet;
    }
    *error = CoreText::tr("the cue sheet %1 cannot be used: %2").arg(name, problem);
    return std::nullopt;
}

QByteArray cueSheetText(const std::vector<Piece>& pieces, const QString& file,
                        const QString& title) {
    const auto quoted = [](QString text) {
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1Char('\'')) +
               QLatin1Char('"');
    };
    QString sheet;
    if (!title.isEmpty()) {
        sheet += QStringLiteral("TITLE %1\r\n").arg(quoted(title));
    }
    sheet += QStringLiteral("FILE %1 MP3\r\n").arg(quoted(file));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::int64_t frames = (pieces[i].startMs * cueFramesPerSecond + 500) / 1000;
        sheet += QStringLiteral("  TRACK %1 AUDIO\r\n").arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!pieces[i].title.isEmpty()) {
            sheet += QStringLiteral("    TITLE %1\r\n").arg(quoted(pieces[i].title));
        }
        sheet += QStringLiteral("    INDEX 01 %1:%2:%3\r\n")
                     .arg(frames / (60 * cueFramesPerSecond), 2, 10, QLatin1Char('0'))
                     .arg(frames / cueFramesPerSecond % 60, 2, 10, QLatin1Char('0'))
                     .arg(frames % cueFramesPerSecond, 2, 10, QLatin1Char('0'));
    }
    return sheet.toUtf8();
}

QString cueTrackTitle(const CueSheet& sheet, const CueTrack& track) {
    if (track.performer.isEmpty() || track.performer == sheet.performer) {
        return track.title;
    }
    return track.title.isEmpty() ? track.performer
                                 : track.performer + QStringLiteral(" - ") + track.title;
}

void applyCueSheet(const CueSheet& sheet, PieceList& pieces) {
    std::vector<std::int64_t> points;
    for (std::size_t i = 1; i < sheet.tracks.size(); ++i) {
        points.push_back(sheet.tracks[i].startMs);
    }
    pieces.setSplitPoints(points);
    // A track that starts within a frame of the one before merged with it and names no piece.
    const std::vector<Piece> result = pieces.pieces();
    std::size_t track = 0;
    for (std::size_t piece = 0; piece < result.size(); ++piece) {
        while (piece > 0 && track < sheet.tracks.size() &&
               sheet.tracks[track].startMs != result[piece].startMs) {
            ++track;
        }
        if (track < sheet.tracks.size()) {
            pieces.setTitle(piece, cueTrackTitle(sheet, sheet.tracks[track]));
        }
    }
}

} // namespace snipora
