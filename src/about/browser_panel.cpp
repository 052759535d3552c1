// BrowserPanel: the page is fetched in the background and shown as HTML.
#include "about/browser_panel.h"

#include "about/page_reducer.h"

#include "platform/host.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScrollBar>
#include <QStringDecoder>

#include <utility>

namespace snipora {

namespace {
// The page's text as its answer says it is encoded: the HTTP header first, then the page's own
// byte-order mark or meta tag, else UTF-8, else the older single-byte text.
QString decodePage(const QByteArray& body, const QByteArray& contentType) {
    for (const QByteArray& part : contentType.split(';')) {
        const QByteArray parameter = part.trimmed();
        if (parameter.toLower().startsWith("charset=")) {
            QByteArray name = parameter.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) {
                name = name.mid(1, name.size() - 2);
            }
            QStringDecoder decoder(name.constData());
            if (decoder.isValid()) {
                return decoder.decode(body);
            }
        }
    }
    if (const auto encoding = QStringConverter::encodingForHtml(body)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(body);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(body);
    return utf8.hasError() ? QString::fromLatin1(body) : text;
}
} // namespace

BrowserPanel::BrowserPanel(DesktopLinks& links, MessageBoxes& messages, QWidget* parent)
    : QTextBrowser(parent), links_(links), messages_(messages) {
    // Links never navigate the panel itself; they go to the user's browser.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &BrowserPanel::followLink);
}

QString cannotOpenText(const QUrl& address) {
    return BrowserPanel::tr(
               "No program could open the web address. Copy it into your browser:\n\n%1")
        .arg(address.toString());
}

QString BrowserPanel::failureText() {
    return tr("Snipora");
}

void BrowserPanel::Navigate(const QUrl& address) {
    // The request leaves from the event loop, and from a shown panel only once it has painted:
    // the window is on the screen before the network stack and its TLS libraries load.
    if (isVisible() && !painted_) {
        afterFirstPaint_ = address;
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, address] { startRequest(address); }, Qt::QueuedConnection);
}

void BrowserPanel::paintEvent(QPaintEvent* event) {
    QTextBrowser::paintEvent(event);
    painted_ = true;
    if (afterFirstPaint_) {
        const QUrl address = *std::exchange(afterFirstPaint_, std::nullopt);
        QMetaObject::invokeMethod(
            this, [this, address] { startRequest(address); }, Qt::QueuedConnection);
    }
}

void BrowserPanel::startRequest(const QUrl& address) {
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
    }
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    QNetworkRequest request(address);
    // An advertisement server that never answers must not leave the panel waiting for ever.
    request.setTransferTimeout(30000);
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > maximumPageSize) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

void BrowserPanel::finished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply == reply_) {
        reply_ = nullptr;
    }
    if (reply->error() != QNetworkReply::NoError) {
        showFailure();
        return;
    }
    const QByteArray body = reply->read(maximumPageSize + 1);
    if (body.size() > maximumPageSize) {
        showFailure();
        return;
    }
    // Relative links in the page are relative to where the page came from.
    document()->setBaseUrl(reply->url());
    // The page comes from a server the program does not control: only a reduced, bounded form
    // of it reaches the rich-text layout (see reducePage).
    setHtml(reducePage(decodePage(body, reply->rawHeader("Content-Type"))));
}

void BrowserPanel::showFailure() {
    document()->setBaseUrl(QUrl());
    setHtml(QStringLiteral("<p align=\"center\" style=\"color:#5f5f5f\">%1</p>")
                .arg(failureText().toHtmlEscaped()));
}

QVariant BrowserPanel::loadResource(int type, const QUrl& name) {
    Q_UNUSED(type)
    Q_UNUSED(name)
    return {};
}

void BrowserPanel::followLink(const QUrl& link) {
    const QUrl base = document()->baseUrl();
    const QUrl target = base.resolved(link);
    // A link within the page only moves the view.
    if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
        scrollToAnchor(link.fragment());
        return;
    }
    // Only web addresses leave the panel: a page must not get local files or other programs
    // opened through the user's desktop.
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return;
    }
    if (!links_.openUrl(target)) {
        messages_.show(cannotOpenText(target), MessageStyle::Warning);
    }
}

} // namespace snipora
