// The ID3 tags of a saved piece, through TagLib.
#include "core/piece_tags.h"

#include <QFile>

#include <attachedpictureframe.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>

#include <memory>

namespace snipora {

namespace {

TagLib::String toTagText(const QString& text) {
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

QString fromTagText(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

} // namespace

std::optional<QString> tagPiece(const QString& path, const QString& title, int number, int count) {
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid()) {
        return QStringLiteral("TagLib cannot open the piece to tag it");
    }
    // What the source's tags said, from whichever of ID3v2 and ID3v1 it had.
    const QString sourceTitle = fromTagText(file.tag()->title());
    const QString sourceAlbum = fromTagText(file.tag()->album());
    const QString album = sourceAlbum.isEmpty() ? sourceTitle : sourceAlbum;
    const bool hadId3v2 = file.hasID3v2Tag();

    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    const unsigned int version = hadId3v2 ? tag->header()->majorVersion() : 4;
    for (const char* id : {"TLEN", "CHAP", "CTOC", "TRCK"}) {
        tag->removeFrames(id);
    }
    tag->setTitle(toTagText(title));
    tag->setAlbum(toTagText(album));
    auto track = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
        TagLib::ByteVector("TRCK"), TagLib::String::Latin1);
    track->setText(toTagText(QStringLiteral("%1/%2").arg(number).arg(count)));
    tag->addFrame(track.release()); // the tag owns its frames

    int tags = TagLib::MPEG::File::ID3v2;
    if (TagLib::ID3v1::Tag* old = file.ID3v1Tag(false)) {
        old->setTitle(toTagText(title));
        old->setAlbum(toTagText(album));
        old->setTrack(static_cast<unsigned int>(number));
        tags |= TagLib::MPEG::File::ID3v1;
    }
    if (!file.save(tags, TagLib::File::StripNone,
                   version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate)) {
        return QStringLiteral("TagLib could not write the piece's tags");
    }
    return std::nullopt;
}

} // namespace snipora
