// BrowserPanel: the advertisement panel along the bottom of the main window.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace snipora {

class DesktopLinks;
class MessageBoxes;

class BrowserPanel : public QTextBrowser {
    Q_OBJECT
public:
    // Links the user follows open in the user's browser through `links`; when nothing can open
    // one, a message gives its address.
    BrowserPanel(DesktopLinks& links, MessageBoxes& messages, QWidget* parent = nullptr);

    // Starts loading the page with one request and returns at once (a shown panel sends it
    // after its first paint); the page, or the quiet stand-in, shows when the answer is in.
    void Navigate(const QUrl& address);

    // Shown in place of a page that cannot be loaded: only the product's name, since without a
    // network this happens on every start and is nothing the user needs to act on. Nothing of
    // a failure is kept; the next start asks again.
    static QString failureText();

    // Pages are read up to this size; a larger answer counts as a page that cannot be loaded.
    static constexpr qint64 maximumPageSize = 1024 * 1024;

    // Nothing beyond the page itself is fetched: no pictures, style sheets or local files.
    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void startRequest(const QUrl& address);
    void finished(QNetworkReply* reply);
    void showFailure();
    void followLink(const QUrl& link);

    DesktopLinks& links_;
    MessageBoxes& messages_;
    // Made with the first request: the network stack and its TLS libraries load only then.
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    // A page asked for while the shown panel has not painted yet; fetched after its first paint.
    std::optional<QUrl> afterFirstPaint_;
    bool painted_ = false;
};

// The message shown when nothing can open a web address; it gives the address to copy.
QString cannotOpenText(const QUrl& address);

} // namespace snipora
