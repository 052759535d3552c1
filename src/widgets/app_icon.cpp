// The application icon from the program's resources.
#include "widgets/app_icon.h"

// The resources live in the static library, so they are registered by hand before first use.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace snipora {

QIcon applicationIcon() {
    initResources();
    QIcon icon;
    for (int size : {48, 32, 24, 16}) {
        icon.addFile(QStringLiteral(":/snipora/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace snipora
