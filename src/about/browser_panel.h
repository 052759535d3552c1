// WebBrowser1: the advertisement panel along the bottom of the main window.
#pragma once

#include <QTextBrowser>
#include <QUrl>

namespace snipora {

class BrowserPanel : public QTextBrowser {
    Q_OBJECT
public:
    explicit BrowserPanel(QWidget* parent = nullptr);

    // Starts loading the page and returns at once.
    void Navigate(const QUrl& address);
};

} // namespace snipora
