// Website: open the maker's home page in the user's browser.
#include "app/form1.h"

namespace snipora {

void Form1::Command3_Click() {}

} // namespace snipora
