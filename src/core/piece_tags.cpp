// The ID3 tags of a saved piece, through TagLib, rendered in memory.
#include "core/piece_tags.h"

#include <id3v1tag.h>
#include <id3v2framefactory.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
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

TagLib::ByteVector toBytes(const QByteArray& bytes) {
    return TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size()));
}

QByteArray fromBytes(const TagLib::ByteVector& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

PieceTags pieceTags(const QByteArray& sourceId3v2, const QByteArray& sourceId3v1,
                    const QString& title, int number, int count) {
    // TagLib reads the tags from a file in memory holding them alone: the piece's frames are
    // written once, after, and never read back to be tagged.
    TagLib::ByteVectorStream stream(toBytes(sourceId3v2 + sourceId3v1));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
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

    PieceTags tags;
    tags.id3v2 = fromBytes(tag->render(version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
    if (TagLib::ID3v1::Tag* old = file.hasID3v1Tag() ? file.ID3v1Tag(false) : nullptr) {
        old->setTitle(toTagText(title));
        old->setAlbum(toTagText(album));
        old->setTrack(static_cast<unsigned int>(number));
        tags.id3v1 = fromBytes(old->render());
    }
    return tags;
}

} // namespace snipora
