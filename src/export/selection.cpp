// The one test of the selection that the preview and both saves share, with its message.
#include "app/form1.h"

namespace snipora {

bool Form1::selectionIsValid() {
    if (markStart < markEnd) {
        return true;
    }
    host.messages.show(QStringLiteral("Start time cannot be >= End time. Invalid Selection"),
                       MessageStyle::Information);
    return false;
}

} // namespace snipora
