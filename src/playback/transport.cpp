// Play/Pause, Stop, the position timer and the position slider.
#include "app/form1.h"

namespace snipora {

void Form1::Command1_Click() {}

void Form1::Command2_Click() {}

void Form1::T_Timer() {}

void Form1::H_Click() {}

void Form1::H_MouseDown() {}

void Form1::H_MouseUp() {}

} // namespace snipora
