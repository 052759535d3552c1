// The application icon from the program's resources.
#include "widgets/app_icon.h"

#include <QImageReader>
#include <QPixmap>

// The resources live in the static library, so they are registered by hand before first use.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace snipora {

QIcon applicationIcon() {
    initResources();
    QIcon icon;
    for (int size : {48, 32, 24, 16}) {
        // Read as the PNG it is: left to guess, the reader asks every image format plugin
        // whether it reads the file, which loads them all at start-up for images Qt reads by
        // itself.
        QImageReader reader(QStringLiteral(":/snipora/icon-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

} // namespace snipora
