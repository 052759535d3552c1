// Website: open the maker's home page in the user's browser.
#include "about/addresses.h"
#include "app/form1.h"

namespace snipora {

void Form1::Command3_Click() {
    // Not waited for and not looked after: a launch that fails leaves the window as it was.
    try {
        (void)host.processes.startDetached(QStringLiteral("xdg-open"),
                                           {QString::fromLatin1(homePageAddress)});
    } catch (const std::exception&) {
    }
}

} // namespace snipora
