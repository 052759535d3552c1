// Mark Start, Mark End and Play Selected.
#include "app/form1.h"

namespace snipora {

void Form1::Command5_Click() {}

void Form1::Command6_Click() {}

void Form1::Command9_Click() {}

} // namespace snipora
