// The time text of the labels.
#include "app/form1.h"
#include "support/test_main.h"

#include <QTest>

using snipora::Form1;

class TestFormatTime : public QObject {
    Q_OBJECT
private slots:
    void text_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero has a leading blank") << 0 << " 0 : 0 : 0";
        QTest::newRow("59") << 59 << " 0 : 0 : 59";
        QTest::newRow("60") << 60 << " 0 : 1 : 0";
        QTest::newRow("61") << 61 << " 0 : 1 : 1";
        QTest::newRow("3599") << 3599 << " 0 : 59 : 59";
        QTest::newRow("3600") << 3600 << " 1 : 0 : 0";
        QTest::newRow("3725") << 3725 << " 1 : 2 : 5";
        QTest::newRow("largest 16-bit") << 32767 << " 9 : 6 : 7";
        QTest::newRow("negative keeps the sign") << -61 << " 0 :-1 :-1";
        QTest::newRow("smallest 16-bit") << -32768 << "-9 :-6 :-8";
        QTest::newRow("beyond 16 bits the rule goes on") << 40000 << " 11 : 6 : 40";
        QTest::newRow("a day") << 86400 << " 24 : 0 : 0";
        QTest::newRow("largest 32-bit") << 2147483647 << " 596523 : 14 : 7";
        QTest::newRow("smallest 32-bit") << int(-2147483647 - 1) << "-596523 :-14 :-8";
    }
    void text() {
        QFETCH(int, seconds);
        QFETCH(QString, expected);
        QCOMPARE(Form1::formatTime(seconds), expected);
    }
};

SNIPORA_TEST(TestFormatTime)
#include "tst_format_time.moc"
