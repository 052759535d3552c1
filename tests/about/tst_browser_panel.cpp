// The web panel against a local web server, and the Website button.
#include "about/addresses.h"
#include "about/browser_panel.h"
#include "app/main_window.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;

namespace {
// Answers every request with one fixed response and records the request lines.
class PageServer : public QObject {
public:
    explicit PageServer(QByteArray response) : response_(std::move(response)) {
        QVERIFY(server_.listen(QHostAddress::LocalHost));
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received_[socket] += socket->readAll();
                    const QByteArray& request = received_[socket];
                    if (request.contains("\r\n\r\n")) {
                        requests << request.left(request.indexOf("\r\n"));
                        socket->write(response_);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }

    QUrl url(const QString& pathAndQuery) const {
        return QUrl(
            QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(pathAndQuery));
    }

    QList<QByteArray> requests;

private:
    QTcpServer server_;
    QByteArray response_;
    QHash<QTcpSocket*, QByteArray> received_;
};

QByteArray httpResponse(const QByteArray& status, const QByteArray& contentType,
                        const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// A local address where nothing listens.
QUrl closedPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost)) {
        return {};
    }
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/info.php?n=snipora").arg(port));
}

const QByteArray page = "<html><head><script>document.write('scripted')</script></head><body>"
                        "<p>Cut your sound with Snipora</p>"
                        "<img src=\"/banner.png\"><img src=\"http://127.0.0.1:1/track.gif\">"
                        "<a href=\"/offer?x=1\">Offer</a></body></html>";
} // namespace

class TestBrowserPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<MainWindow> form;

private slots:
    void init() { fakes = std::make_unique<FakeHost>(); }
    void cleanup() {
        form.reset();
        fakes.reset();
    }

    void startUpAsksForThePageOnce() {
        PageServer server(httpResponse("200 OK", "text/html; charset=utf-8", page));
        fakes->advertisementPage = server.url(QStringLiteral("/info.php?n=snipora"));
        form = std::make_unique<MainWindow>(fakes->host());
        form->start();
        // Start-up does not wait for the page.
        QCOMPARE(form->webPanel->toPlainText(), QString());

        QTRY_VERIFY(form->webPanel->toPlainText().contains("Cut your sound with Snipora"));
        QTest::qWait(200); // time for any further request the page might cause
        QCOMPARE(server.requests, QList<QByteArray>{"GET /info.php?n=snipora HTTP/1.1"});
        QVERIFY(!form->webPanel->toPlainText().contains("scripted"));
        QCOMPARE(fakes->messages.shown.size(), 0);
        QCOMPARE(fakes->links.opened.size(), 0);
        // Nor does the page reach the local files (a plain text browser would read them).
        const QUrl localPicture = QUrl::fromLocalFile(
            QStringLiteral(SNIPORA_SOURCE_DIR "/resources/icons/snipora-16.png"));
        QVERIFY(
            !form->webPanel->loadResource(QTextDocument::ImageResource, localPicture).isValid());
    }

    void linksOpenInTheUsersBrowser_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened"); // empty: nothing is opened
        QTest::newRow("relative") << "/offer?x=1"
                                  << "/offer?x=1";
        QTest::newRow("absolute") << "https://www.example.net/a b"
                                  << "https://www.example.net/a%20b";
        QTest::newRow("local file") << "file:///etc/passwd"
                                    << "";
        QTest::newRow("script") << "javascript:alert(1)"
                                << "";
        QTest::newRow("within the page") << "#top"
                                         << "";
    }
    void linksOpenInTheUsersBrowser() {
        QFETCH(QString, link);
        QFETCH(QString, opened);
        PageServer server(httpResponse("200 OK", "text/html", page));
        form = std::make_unique<MainWindow>(fakes->host());
        BrowserPanel* panel = form->webPanel;
        panel->Navigate(server.url(QStringLiteral("/info.php?n=snipora")));
        QTRY_VERIFY(panel->toPlainText().contains("Snipora"));

        emit panel->anchorClicked(QUrl(link));
        if (opened.isEmpty()) {
            QCOMPARE(fakes->links.opened.size(), 0);
            return;
        }
        const QString expected = opened.startsWith('/') ? server.url(opened).toString() : opened;
        QCOMPARE(fakes->links.opened.size(), 1);
        QCOMPARE(fakes->links.opened[0].toString(QUrl::FullyEncoded), expected);
        // The panel itself stays on its page.
        QVERIFY(panel->toPlainText().contains("Snipora"));
    }

    void clickingALinkOpensIt() {
        PageServer server(httpResponse("200 OK", "text/html", page));
        form = std::make_unique<MainWindow>(fakes->host());
        form->show();
        BrowserPanel* panel = form->webPanel;
        panel->Navigate(server.url(QStringLiteral("/info.php?n=snipora")));
        QTRY_VERIFY(panel->toPlainText().contains("Offer"));
        QTextCursor cursor = panel->document()->find(QStringLiteral("Offer"));
        QVERIFY(!cursor.isNull());
        cursor.setPosition(cursor.selectionStart() + 2);
        panel->ensureCursorVisible();
        panel->setTextCursor(cursor);
        const QPoint at = panel->cursorRect(cursor).center();
        QTest::mouseClick(panel->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(fakes->links.opened.size(), 1);
        QCOMPARE(fakes->links.opened[0], server.url(QStringLiteral("/offer?x=1")));
    }

    void pageThatCannotBeLoaded_data() {
        QTest::addColumn<QByteArray>("response"); // empty: nothing listens
        QTest::newRow("closed port") << QByteArray();
        QTest::newRow("not found") << httpResponse("404 Not Found", "text/html", "<p>gone</p>");
        QTest::newRow("server error")
            << httpResponse("500 Internal Server Error", "text/html", "x");
        QTest::newRow("no answer") << QByteArray("\r\n");
    }
    void pageThatCannotBeLoaded() {
        QFETCH(QByteArray, response);
        PageServer server(response);
        fakes->advertisementPage =
            response.isEmpty() ? closedPort() : server.url(QStringLiteral("/info.php?n=snipora"));
        form = std::make_unique<MainWindow>(fakes->host());
        form->start();
        QTRY_COMPARE(form->webPanel->toPlainText(), QStringLiteral("Snipora"));
        QCOMPARE(fakes->messages.shown.size(), 0);
        QVERIFY(form->isVisible());
    }

    void pageTextInItsDeclaredEncoding() {
        PageServer server(
            httpResponse("200 OK", "text/html; charset=ISO-8859-1", "<p>Caf\xe9 cr\xe8me</p>"));
        form = std::make_unique<MainWindow>(fakes->host());
        form->webPanel->Navigate(server.url(QStringLiteral("/info.php?n=snipora")));
        QTRY_COMPARE(form->webPanel->toPlainText(), QStringLiteral("Caf\u00E9 cr\u00E8me"));
    }
};

SNIPORA_TEST(TestBrowserPanel)
#include "tst_browser_panel.moc"
