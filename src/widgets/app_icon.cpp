// The application icon from the program's resources.
#include "widgets/app_icon.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QPixmap>

#include <png.h>

// The resources live in the static library, so they are registered by hand before first use.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace snipora {

namespace {

// One size of the icon, decoded by libpng itself: any reading through Qt's image reader, even
// one told the format, first has Qt open every image format plugin to read its metadata, which
// at start-up costs more than the decoding. A null image when the resource cannot be read.
QImage iconImage(int size) {
    QFile file(QStringLiteral(":/snipora/icon-%1.png").arg(size));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, bytes.constData(),
                                         static_cast<png_size_t>(bytes.size())) == 0) {
        return {};
    }
    // Blue, green, red, alpha bytes, not premultiplied: the layout of Format_ARGB32 on a
    // little-endian machine, and what Qt's own reader gives for this file.
    png.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    QImage image(static_cast<int>(png.width), static_cast<int>(png.height), QImage::Format_ARGB32);
    if (image.isNull() ||
        png_image_finish_read(&png, nullptr, image.bits(),
                              static_cast<png_int_32>(image.bytesPerLine()), nullptr) == 0) {
        png_image_free(&png);
        return {};
    }
    // Qt's reader takes a PNG without colour information as sRGB primaries with a gamma of 2.2,
    // and so does this one.
    image.setColorSpace(
        QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Gamma, 2.2F));
    return image;
}

} // namespace

QIcon applicationIcon() {
    initResources();
    QIcon icon;
    for (int size : {48, 32, 24, 16}) {
        icon.addPixmap(QPixmap::fromImage(iconImage(size)));
    }
    return icon;
}

} // namespace snipora
