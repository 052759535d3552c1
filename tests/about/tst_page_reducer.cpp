// The reduction of pages from the network to the HTML subset the web panel shows.
#include "about/page_reducer.h"
#include "support/test_main.h"

#include <QRegularExpression>
#include <QTest>

using snipora::PageLimits;
using snipora::reducePage;

namespace {
// What the nesting of a reduced page looks like; well-formed when every end tag closes the
// innermost open element and nothing stays open.
struct Shape {
    bool wellFormed = true;
    int depth = 0;
    int tableDepth = 0;
    int elements = 0;
};

Shape shapeOf(const QString& html) {
    static const QRegularExpression tag(QStringLiteral("<(/?)([a-z0-9]+)[^>]*>"));
    Shape shape;
    QStringList open;
    for (const QRegularExpressionMatch& match : tag.globalMatch(html)) {
        const QString name = match.captured(2);
        if (name == "br") {
            continue;
        }
        if (match.captured(1).isEmpty()) {
            open << name;
            ++shape.elements;
            shape.depth = std::max(shape.depth, int(open.size()));
            shape.tableDepth = std::max(shape.tableDepth, int(open.count("table")));
        } else if (open.isEmpty() || open.takeLast() != name) {
            shape.wellFormed = false;
        }
    }
    shape.wellFormed = shape.wellFormed && open.isEmpty();
    return shape;
}

QString repeated(const char* part, int times) {
    return QString::fromLatin1(part).repeated(times);
}
} // namespace

class TestPageReducer : public QObject {
    Q_OBJECT

private slots:
    void reduces_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("reduced");
        // kept
        QTest::newRow("inline formatting")
            << "<B>b</B><i>i</i><u>u</u><em>e</em><strong>s</strong><span>t</span>"
            << "<b>b</b><i>i</i><u>u</u><em>e</em><strong>s</strong><span>t</span>";
        QTest::newRow("blocks") << "<p align=center>a<br/>b</p><div>c</div><h2 id=x>T</h2>"
                                << "<p align=\"center\">a<br>b</p><div>c</div><h2>T</h2>";
        QTest::newRow("font") << "<font color=\"#ff0000\" size=\"+1\" face=\"Arial\">r</font>"
                              << "<font color=\"#ff0000\" size=\"+1\">r</font>";
        QTest::newRow("list, items closed") << "<ul><li>a<li>b</ul>"
                                            << "<ul><li>a</li><li>b</li></ul>";
        QTest::newRow("table, cells and rows closed")
            << "<table border=9><tr><td>a<td>b<tr><th>c</table>"
            << "<table border=\"4\"><tr><td>a</td><td>b</td></tr><tr><th>c</th></tr></table>";
        QTest::newRow("unclosed elements closed") << "<p><b>a"
                                                  << "<p><b>a</b></p>";
        QTest::newRow("white space collapsed") << "a \n\t b"
                                               << "a b";
        // dropped
        QTest::newRow("script") << "a<script>if (a<b) x = '</p>'</script >b"
                                << "ab";
        QTest::newRow("style and comment") << "a<style>p{}</style><!-- <b>x</b> -->b"
                                           << "ab";
        QTest::newRow("pictures and frames")
            << "<img src=x.png>a<iframe src=y>z</iframe><object data=o>b</object>"
            << "ab";
        QTest::newRow("attributes") << "<p style=\"font-size:9999px\" onclick=\"x()\">a</p>"
                                    << "<p>a</p>";
        QTest::newRow("font colour that is not one") << "<font color=\"red;x:url(y)\">r</font>"
                                                     << "<font>r</font>";
        QTest::newRow("unknown element") << "<blink>a</blink>"
                                         << "a";
        QTest::newRow("item outside a list") << "<li>a"
                                             << "<br>a";
        QTest::newRow("cut-off tag") << "a<b class=\"x"
                                     << "a";
        QTest::newRow("document markers")
            << QString::fromUtf16(u"a\uFDD0\uFFFC\u0001") + QChar(0xD800) + "b"
            << QString::fromUtf16(u"a\uFFFDb");
        // escaping and references
        QTest::newRow("markup characters") << "1 < 2 > 0 & 3"
                                           << "1 &lt; 2 &gt; 0 &amp; 3";
        QTest::newRow("references")
            << "&lt;b&gt;&amp;&eacute;&#233;&#xE9;&hellip;&#150;&#0;"
            << QString::fromUtf16(u"&lt;b&gt;&amp;\u00E9\u00E9\u00E9\u2026\u2013"
                                  u"\uFFFD");
        QTest::newRow("unknown reference") << "&foo; &#; &"
                                           << "&amp;foo; &amp;#; &amp;";
        QTest::newRow("attribute escaped") << "<a href='/x?a=1&amp;b=\"2\"<'>l</a>"
                                           << "<a href=\"/x?a=1&amp;b=&quot;2&quot;&lt;\">l</a>";
        // links
        QTest::newRow("web link") << "<a href=\"https://example.net/a\">l</a>"
                                  << "<a href=\"https://example.net/a\">l</a>";
        QTest::newRow("plain web link") << "<A HREF=HTTP://example.net>l</A>"
                                        << "<a href=\"HTTP://example.net\">l</a>";
        QTest::newRow("relative link") << "<a href=\" /offer?x=1 \">l</a>"
                                       << "<a href=\"/offer?x=1\">l</a>";
        QTest::newRow("links do not nest") << "<a href=/a>1<a href=/b>2</a>"
                                           << "<a href=\"/a\">1</a><a href=\"/b\">2</a>";
        QTest::newRow("script link") << "<a href=\"javascript:alert(1)\">l</a>"
                                     << "l";
        QTest::newRow("script link with a tab") << "<a href=\"java\tscript:x\">l</a>"
                                                << "l";
        QTest::newRow("local file link") << "<a href=\"file:///etc/passwd\">l</a>"
                                         << "l";
        QTest::newRow("data link") << "<a href=\"data:text/html,x\">l</a>"
                                   << "l";
        QTest::newRow("mail link") << "<a href=\"mailto:a@b\">l</a>"
                                   << "l";
        // bounds
        // The innermost element that would pass the bound is dropped; its text stays.
        const QString atBound =
            repeated("<b>", PageLimits::depth) + "x" + repeated("</b>", PageLimits::depth);
        QTest::newRow("nesting at the bound is kept")
            << repeated("<b>", PageLimits::depth) + "x" << atBound;
        QTest::newRow("nesting past the bound is cut")
            << repeated("<b>", PageLimits::depth + 1) + "x" << atBound;
        QTest::newRow("third table is text")
            << "<table><tr><td><table><tr><td><table><tr><td>x<td>y<tr><td>z</table>w"
            << "<table><tr><td><table><tr><td><br> x y<br> z w</td></tr></table></td></tr>"
               "</table>";
    }
    void reduces() {
        QFETCH(QString, page);
        QFETCH(QString, reduced);
        QCOMPARE(reducePage(page), reduced);
    }

    void staysWithinBounds_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("innermostText"); // empty: may be cut off
        QTest::newRow("5,000 nested tables")
            << repeated("<table><tr><td>", 5000) + "deep" + repeated("</td></tr></table>", 5000)
            << "deep";
        QTest::newRow("unclosed nested tables") << repeated("<table><td>", 5000) + "deep"
                                                << "deep";
        QTest::newRow("10,000 nested lists")
            << repeated("<ul><li>", 10000) + "deep" + repeated("</li></ul>", 10000) << "deep";
        QTest::newRow("10,000 nested divs") << repeated("<div><b>", 10000) + "deep"
                                            << "deep";
        QTest::newRow("wide table")
            << "<table>" + repeated("<tr>" + repeated("<td>c", 100).toLatin1(), 1000) << "";
        QTest::newRow("many elements") << repeated("<p><a href=/x>l</a></p>", 100000) << "";
        QTest::newRow("long text") << repeated("word &amp; ", 500000) << "";
        QTest::newRow("stray text in tables") << repeated("<table>x<tr>y", 3000) << "";
    }
    void staysWithinBounds() {
        QFETCH(QString, page);
        QFETCH(QString, innermostText);
        const QString reduced = reducePage(page);
        const Shape shape = shapeOf(reduced);
        QVERIFY(shape.wellFormed);
        QVERIFY2(shape.tableDepth <= PageLimits::tableDepth, qPrintable(reduced.left(400)));
        QVERIFY(shape.depth <= PageLimits::depth + 2); // a kept table's row and cell
        QVERIFY(shape.elements <= PageLimits::elements);
        QVERIFY(reduced.size() <= PageLimits::output + 64 * PageLimits::depth);
        QVERIFY(reduced.contains(innermostText));
    }
};

SNIPORA_TEST(TestPageReducer)
#include "tst_page_reducer.moc"
