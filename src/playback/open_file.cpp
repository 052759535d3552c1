// Open: choose a file, load it into the media device and start playing it.
#include "app/form1.h"

namespace snipora {

void Form1::Command4_Click() {}

} // namespace snipora
