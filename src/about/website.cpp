// Website: open the maker's home page in the user's browser.
#include "about/addresses.h"
#include "about/browser_panel.h"
#include "app/main_window.h"

namespace snipora {

void MainWindow::openWebsite() {
    const QUrl home(QString::fromLatin1(homePageAddress));
    if (!host.links.openUrl(home)) {
        showFailure(cannotOpenText(home));
    }
}

} // namespace snipora
