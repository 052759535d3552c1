// Convert Save: encode the selection through ffmpeg into the chosen format and bitrate.
#include "app/form1.h"

namespace snipora {

void Form1::Command8_Click() {}

} // namespace snipora
