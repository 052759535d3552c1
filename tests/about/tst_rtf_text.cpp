// The rich text reader: the text it finds, and that no input can make it fail.
#include "about/rtf_text.h"
#include "support/test_main.h"

#include <QRandomGenerator>
#include <QTest>

using namespace snipora;

class TestRtfText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        auto row = [](const char* name, const char* rtf, const QString& text) {
            QTest::newRow(name) << QByteArray(rtf) << text;
        };
        row("tables left out",
            "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Arial;}{\\f1 Courier;}}"
            "{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}\\f0\\fs20 Hello\\par "
            "World}",
            "Hello\nWorld");
        row("escaped specials", "{\\rtf1 a\\{b\\}c\\\\d}", "a{b}c\\d");
        row("code page escapes", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'93q\\'94 \\'80}",
            QStringLiteral("caf\u00E9 \u201Cq\u201D \u20AC"));
        row("unicode with stand-in", "{\\rtf1\\uc1 \\u8364?\\u20320?}",
            QStringLiteral("\u20AC\u4F60"));
        row("unicode above the 16-bit range", "{\\rtf1 \\u-10179?\\u-8704?}",
            QString::fromUtf8("\xF0\x9F\x98\x80"));
        row("two stand-ins", "{\\rtf1\\uc2\\u8364\\'80\\'80 x}", QStringLiteral("\u20AC x"));
        row("no stand-in", "{\\rtf1\\uc0\\u8364 x}", QStringLiteral("\u20ACx"));
        row("stand-in count ends with its group", "{\\rtf1{\\uc2\\u8364??}\\u8364?}",
            QStringLiteral("\u20AC\u20AC"));
        row("ignorable destination", "{\\rtf1{\\*\\generator Riched20;}{\\*\\unknown junk}Text}",
            "Text");
        row("document information", "{\\rtf1{\\info{\\title T}{\\author A}}Body}", "Body");
        row("binary picture data", "{\\rtf1 a{\\pict\\bin3 }}}} b}", "a b");
        row("tabs and breaks", "{\\rtf1 a\\tab b\\line c\\cell d\\row}", "a\tb\nc\td\n");
        row("field shows its result",
            "{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt site}}.}", "see site.");
        row("typographic symbols",
            "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote"
            "\\rdblquote\\~}",
            QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0"));
        row("file line ends are not text", "{\\rtf1 a\r\nb\nc}", "abc");
        row("escaped line end is a paragraph", "{\\rtf1 a\\\nb}", "a\nb");
        row("parameter and delimiter", "{\\rtf1\\fs-20 x\\b0y}", "xy");
        row("control characters dropped", "{\\rtf1 a\\'00\\'07b\\u0?c}", "abc");
        // Damaged documents give what text there is.
        row("unclosed groups", "{\\rtf1 {{{ text", " text");
        row("extra closing braces", "{\\rtf1 a}}}} b", "a b");
        row("cut in an escape", "{\\rtf1 a\\'4", "a4");
        row("cut after a backslash", "{\\rtf1 a\\", "a");
        row("bad hex digits", "{\\rtf1 a\\'zzb}", "azzb");
        row("huge parameters", "{\\rtf1 \\u99999999999999999999?x\\bin99999999999999}", "\uFFFFx");
        row("negative binary length", "{\\rtf1 \\bin-5 ok}", "ok");
        row("unicode without number", "{\\rtf1 \\u x}", "x");
    }
    void text() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(rtfToText(rtf), text);
    }

    void recognisesRichText() {
        QVERIFY(looksLikeRtf("{\\rtf1\\ansi x}"));
        QVERIFY(!looksLikeRtf("Thanks {\\rtf1}"));
        QVERIFY(!looksLikeRtf(""));
    }

    void deepNestingIsRead() {
        QByteArray rtf = "{\\rtf1 ";
        rtf += QByteArray(200000, '{') + "deep" + QByteArray(200000, '}') + "}";
        QCOMPARE(rtfToText(rtf), QStringLiteral("deep"));
    }

    void anyBytesAreRead() {
        // Damaged copies of a real document and random bytes: every one gives some text and
        // stays within its input (the sanitizer build checks every read).
        const QByteArray sample =
            "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\uc1 Caf\\'e9 \\u8364? "
            "{\\*\\x y}{\\pict\\bin4 abcd}\\par end}";
        QRandomGenerator generator(20261207);
        for (int round = 0; round < 3000; ++round) {
            QByteArray input = sample;
            if (round % 3 == 0) {
                input.truncate(generator.bounded(input.size() + 1));
            } else if (round % 3 == 1) {
                for (int i = 0; i < 4; ++i) {
                    input[generator.bounded(input.size())] = "{}\\'0aZ9 -*"[generator.bounded(11)];
                }
            } else {
                input.resize(generator.bounded(64));
                for (char& c : input) {
                    c = static_cast<char>(generator.bounded(256));
                }
            }
            const QString text = rtfToText(input);
            QVERIFY(text.size() <= input.size());
        }
    }
};

SNIPORA_TEST(TestRtfText)
#include "tst_rtf_text.moc"
