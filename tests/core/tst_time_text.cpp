// The time texts: the labels' text, the precise text, and times read from a command line.
#include "core/time_text.h"
#include "support/test_main.h"

#include <QTest>

using namespace snipora;

class TestTimeText : public QObject {
    Q_OBJECT
private slots:
    void labelText_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero has a leading blank") << 0 << " 0 : 0 : 0";
        QTest::newRow("59") << 59 << " 0 : 0 : 59";
        QTest::newRow("3599") << 3599 << " 0 : 59 : 59";
        QTest::newRow("3725") << 3725 << " 1 : 2 : 5";
        QTest::newRow("negative keeps the sign") << -61 << " 0 :-1 :-1";
        QTest::newRow("beyond 16 bits the rule goes on") << 40000 << " 11 : 6 : 40";
        QTest::newRow("largest 32-bit") << 2147483647 << " 596523 : 14 : 7";
        QTest::newRow("smallest 32-bit") << int(-2147483647 - 1) << "-596523 :-14 :-8";
    }
    void labelText() {
        QFETCH(int, seconds);
        QFETCH(QString, expected);
        QCOMPARE(formatTime(seconds), expected);
    }

    void preciseAndParsed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::int64_t>("ms");
        QTest::addColumn<QString>("precise");
        QTest::newRow("seconds") << "12.345" << std::int64_t{12345} << "0:12.345";
        QTest::newRow("minutes") << "2:03.5" << std::int64_t{123500} << "2:03.500";
        QTest::newRow("hours") << "1:02:03.004" << std::int64_t{3723004} << "1:02:03.004";
        QTest::newRow("whole seconds") << "75" << std::int64_t{75000} << "1:15.000";
        QTest::newRow("seconds past an hour")
            << "3723.004" << std::int64_t{3723004} << "1:02:03.004";
        QTest::newRow("minutes past an hour")
            << "62:03.004" << std::int64_t{3723004} << "1:02:03.004";
    }

    // Typed digits round to the nearest millisecond, a half up; a double would make 1.005 s
    // 1004.999... ms.
    void roundsTheTypedDigits_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::int64_t>("ms");
        QTest::newRow("1.005") << "1.005" << std::int64_t{1005};
        QTest::newRow("0:01.005") << "0:01.005" << std::int64_t{1005};
        QTest::newRow("2.675") << "2.675" << std::int64_t{2675};
        QTest::newRow("a half up") << "1.0005" << std::int64_t{1001};
        QTest::newRow("under a half down") << "1.00049999" << std::int64_t{1000};
        QTest::newRow("rounds into the next second") << "0:59.9996" << std::int64_t{60000};
        QTest::newRow("tenths") << "1:00:00.5" << std::int64_t{3600500};
        QTest::newRow("no whole part") << ".25" << std::int64_t{250};
        QTest::newRow("blanks around") << " 4.1 " << std::int64_t{4100};
    }
    void roundsTheTypedDigits() {
        QFETCH(QString, typed);
        QFETCH(std::int64_t, ms);
        QCOMPARE(parseTime(typed), std::optional<std::int64_t>(ms));
    }
    void preciseAndParsed() {
        QFETCH(QString, typed);
        QFETCH(std::int64_t, ms);
        QFETCH(QString, precise);
        QCOMPARE(parseTime(typed), std::optional<std::int64_t>(ms));
        QCOMPARE(preciseTime(ms), precise);
        QCOMPARE(parseTime(precise), std::optional<std::int64_t>(ms));
    }

    void notATime_data() {
        QTest::addColumn<QString>("typed");
        for (const char* text :
             {"", "abc", "-1", "1:60", "1:2:3:4", "1::2", "nan", "inf", "1.", "1.2.3", "1:2.5:3",
              "1,5", "+1", "1e3", "1:-2", "0x10", "5 s", "99999999999999999999"}) {
            QTest::newRow(text) << text;
        }
    }
    void notATime() {
        QFETCH(QString, typed);
        QCOMPARE(parseTime(typed), std::nullopt);
    }
};

SNIPORA_TEST(TestTimeText)
#include "tst_time_text.moc"
