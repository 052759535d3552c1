// The waveform view: what a click and a handle drag report, what it draws, and its mark times.
#include "support/test_main.h"

#include "app/waveform_view.h"
#include "core/waveform_peaks.h"

#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using snipora::PeakLayout;
using snipora::PeakRange;
using snipora::WaveformPeaks;
using snipora::WaveformView;

namespace {
// WCAG contrast of two colours, 1 to 21.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double x = luminance(a);
    const double y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}
// Collects the regions a widget is asked to paint.
class PaintRecorder : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

class TestWaveformView : public QObject {
    Q_OBJECT

    std::unique_ptr<WaveformView> view;

private slots:
    void init() {
        // 400 pixels of time between the insets: 80 s makes 200 ms a pixel, time 0 at x = 5.
        view = std::make_unique<WaveformView>();
        view->resize(411, 120);
        view->setInsets(5, 5);
        view->setLength(80000);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
    void cleanup() { view.reset(); }

    void clickSeeksToTheTimeUnderThePointer_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("x");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("start") << qint64(80000) << 5 << qint64(0);
        QTest::newRow("end") << qint64(80000) << 405 << qint64(80000);
        QTest::newRow("a quarter") << qint64(80000) << 105 << qint64(20000);
        QTest::newRow("left of the start") << qint64(80000) << 1 << qint64(0);
        QTest::newRow("right of the end") << qint64(80000) << 409 << qint64(80000);
        // Finer than a pixel: 2.5 ms a pixel, to the nearest millisecond.
        QTest::newRow("one second, x = 6") << qint64(1000) << 6 << qint64(3);
        QTest::newRow("ten hours, middle") << qint64(36000000) << 205 << qint64(18000000);
    }
    void clickSeeksToTheTimeUnderThePointer() {
        QFETCH(qint64, length);
        QFETCH(int, x);
        QFETCH(qint64, expected);
        view->setLength(length);
        QSignalSpy seek(view.get(), &WaveformView::seekRequested);
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, QPoint(x, 50));
        QCOMPARE(seek.count(), 1);
        QCOMPARE(seek.at(0).at(0).value<std::int64_t>(), expected);
    }

    // At the whole file (200 ms a pixel) and zoomed around the mark to 1 ms a pixel, where a
    // pixel of drag is a millisecond.
    void dragOfAHandleReportsMovesAndEndsWhereReleased_data() {
        QTest::addColumn<bool>("startHandle");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<qint64>("msPerPixel");
        QTest::newRow("start mark") << true << 1.0 << qint64(200);
        QTest::newRow("end mark") << false << 1.0 << qint64(200);
        QTest::newRow("start mark, 1 ms a pixel") << true << 200.0 << qint64(1);
        QTest::newRow("end mark, 1 ms a pixel") << false << 200.0 << qint64(1);
    }
    void dragOfAHandleReportsMovesAndEndsWhereReleased() {
        QFETCH(bool, startHandle);
        QFETCH(double, zoom);
        QFETCH(qint64, msPerPixel);
        view->setMarks(20000, 60000); // x = 105 and x = 305
        const qint64 markMs = startHandle ? 20000 : 60000;
        view->zoomAround(zoom, markMs); // the mark stays on its pixel
        QSignalSpy start(view.get(), &WaveformView::startMarkDragged);
        QSignalSpy end(view.get(), &WaveformView::endMarkDragged);
        QSignalSpy seek(view.get(), &WaveformView::seekRequested);
        QSignalSpy& moved = startHandle ? start : end;
        const int x = startHandle ? 105 : 305;
        // Zoomed, the handles sit on the scroll bar.
        const auto* bar = view->findChild<QScrollBar*>();
        QCOMPARE(bar->isVisible(), zoom > 1);
        const int handleY = (bar->isVisible() ? bar->y() : view->height()) - 4;
        QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(x + 2, handleY));
        QCOMPARE(moved.count(), 0); // catching the handle moves nothing
        QTest::mouseMove(view.get(), QPoint(x + 30, handleY));
        QTest::mouseMove(view.get(), QPoint(x + 60, 10)); // off the handle's row still drags
        QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(x + 80, 10));
        QCOMPARE(moved.count(), 3);
        QCOMPARE(moved.at(0).at(0).value<std::int64_t>(), markMs + 30 * msPerPixel);
        QCOMPARE(moved.at(1).at(0).value<std::int64_t>(), markMs + 60 * msPerPixel);
        QCOMPARE(moved.at(2).at(0).value<std::int64_t>(), markMs + 80 * msPerPixel);
        QCOMPARE(start.count() + end.count(), 3);
        QCOMPARE(seek.count(), 0);
    }

    // A split point's numbered tag is caught and dragged like a handle, one drag ending once;
    // where a mark's handle lies under the tag's reach, the handle wins.
    void splitPointTagsAreCaughtAndDragged_data() {
        QTest::addColumn<qint64>("markMs");
        QTest::addColumn<int>("pressY"); // above the bottom edge
        QTest::addColumn<bool>("tagCaught");
        QTest::newRow("on the tag") << qint64(70000) << 20 << true;
        QTest::newRow("on a mark's handle at the same time") << qint64(40000) << 4 << false;
        QTest::newRow("below the tag, no handle there") << qint64(70000) << 4 << false;
    }
    void splitPointTagsAreCaughtAndDragged() {
        QFETCH(qint64, markMs);
        QFETCH(int, pressY);
        QFETCH(bool, tagCaught);
        view->setMarks(10000, markMs);
        view->setSplitPoints({20000, 40000}, std::nullopt); // x = 105 and x = 205
        QSignalSpy picked(view.get(), &WaveformView::splitPointPicked);
        QSignalSpy dragged(view.get(), &WaveformView::splitPointDragged);
        QSignalSpy finished(view.get(), &WaveformView::dragFinished);
        const int y = view->height() - pressY;
        QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(206, y));
        QTest::mouseMove(view.get(), QPoint(225, y));
        QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(245, y));
        QCOMPARE(picked.count(), tagCaught ? 1 : 0);
        QCOMPARE(dragged.count(), tagCaught ? 2 : 0);
        if (tagCaught) {
            QCOMPARE(picked.at(0).at(0).toInt(), 1);
            QCOMPARE(dragged.at(1).at(0).toInt(), 1);
            QCOMPARE(dragged.at(1).at(1).value<std::int64_t>(), 48000);
        }
        QCOMPARE(finished.count(), tagCaught || markMs == 40000 ? 1 : 0);
    }

    // Catching a handle makes its mark the active one, drawn twice as wide; where the handles
    // overlap, each click takes the one that is not active, so that both can be reached.
    void handlesPickTheActiveMark_data() {
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<int>("x");
        QTest::addColumn<bool>("startActive");
        QTest::addColumn<bool>("picksStart");
        QTest::newRow("apart, the start's") << qint64(60000) << 105 << false << true;
        QTest::newRow("apart, the end's") << qint64(60000) << 305 << false << false;
        QTest::newRow("apart, the active end's") << qint64(60000) << 306 << false << false;
        QTest::newRow("same time, start active") << qint64(20000) << 105 << true << false;
        QTest::newRow("same time, end active") << qint64(20000) << 105 << false << true;
        QTest::newRow("a pixel apart, start active") << qint64(20200) << 106 << true << false;
    }
    void handlesPickTheActiveMark() {
        QFETCH(qint64, endMs);
        QFETCH(int, x);
        QFETCH(bool, startActive);
        QFETCH(bool, picksStart);
        view->setMarks(20000, endMs);
        view->setActiveMark(startActive ? snipora::Mark::Start : snipora::Mark::End);
        const int activeX = startActive ? 105 : (endMs - 0) / 200 + 5;
        const QImage image = view->grab().toImage();
        QCOMPARE(QColor(image.pixel(activeX + 1, 50)),
                 startActive ? WaveformView::startMarkColor() : WaveformView::endMarkColor());
        QSignalSpy picked(view.get(), &WaveformView::markPicked);
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, QPoint(x, view->height() - 4));
        QCOMPARE(picked.count(), 1);
        QCOMPARE(picked.at(0).at(0).value<snipora::Mark>(),
                 picksStart ? snipora::Mark::Start : snipora::Mark::End);
    }

    // On an hour, at every zoom from the whole file to the finest: the time zoomed around stays
    // in view, a time's pixel and the pixel's time agree within a pixel, and a click there
    // seeks to that time.
    void timeAndPixelAgreeAtEveryZoom_data() {
        QTest::addColumn<double>("factor");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<double>("msPerPixel");
        const qint64 hour = 3600000;
        const struct {
            const char* name;
            double factor;
            double msPerPixel;
        } zooms[] = {{"whole", 1, 9000},
                     {"x8", 8, 1125},
                     {"x1024", 1024, 9000.0 / 1024},
                     {"1 ms/px", 9000, 1},
                     {"finest", 1e9, 0.5}};
        for (const auto& zoom : zooms) {
            for (const qint64 ms : {qint64(0), qint64(1234567), hour / 2 + 1, hour - 3}) {
                QTest::addRow("%s at %lld", zoom.name, static_cast<long long>(ms))
                    << zoom.factor << ms << zoom.msPerPixel;
            }
        }
    }
    void timeAndPixelAgreeAtEveryZoom() {
        QFETCH(double, factor);
        QFETCH(qint64, ms);
        QFETCH(double, msPerPixel);
        view->setLength(3600000);
        view->zoomAround(factor, ms);
        QCOMPARE(view->msPerPixel(), msPerPixel);
        QCOMPARE(view->isZoomed(), factor > 1);
        const int x = view->xForMs(ms);
        QVERIFY2(x >= 5 && x <= 405, qPrintable(QString::number(x)));
        QVERIFY(std::abs(double(view->msAtX(x) - ms)) <= msPerPixel / 2 + 0.5);
        QVERIFY(std::abs(view->xForMs(view->msAtX(x)) - x) <= 1);
        for (const int column : {5, 100, 333, 405}) {
            QVERIFY(std::abs(view->xForMs(view->msAtX(column)) - column) <= 1);
        }
        QSignalSpy seek(view.get(), &WaveformView::seekRequested);
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, QPoint(x, 50));
        QCOMPARE(seek.count(), 1);
        QVERIFY(std::abs(double(seek.at(0).at(0).value<std::int64_t>() - ms)) <=
                msPerPixel / 2 + 0.5);
    }

    // Zoomed, the view turns the page when the playing cursor leaves it; scrolled away by the
    // user it stays until the cursor comes back into view. 0 and Z zoom out and in again.
    void followsTheCursorUnlessScrolledAway() {
        view->setLength(3600000);
        view->zoomAround(360, 1000); // 10 s in view, 1 s stays where it was
        QCOMPARE(view->viewSpanMs(), 10000.0);
        const double from = view->viewFromMs();
        QVERIFY(from > 990 && from < 1000);
        view->setPosition(5000);
        QCOMPARE(view->viewFromMs(), from);
        view->setPosition(10500 + 1000);
        QCOMPARE(view->viewFromMs(), 11500.0);
        view->scrollTo(100000);
        view->setPosition(20600);
        QCOMPARE(view->viewFromMs(), 100000.0);
        QVERIFY(!view->isFollowingCursor());
        view->setPosition(101000);
        QVERIFY(view->isFollowingCursor());
        view->setPosition(111000);
        QCOMPARE(view->viewFromMs(), 111000.0);
        // A handle pulled past the right edge scrolls the view, and its mark goes along.
        view->setMarks(111500, std::nullopt);
        QSignalSpy dragged(view.get(), &WaveformView::startMarkDragged);
        const auto* bar = view->findChild<QScrollBar*>();
        const int x = view->xForMs(111500);
        QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(x, bar->y() - 4));
        QTest::mouseMove(view.get(), QPoint(410, bar->y() - 4)); // 5 pixels past the axis' end
        QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(410, bar->y() - 4));
        QCOMPARE(view->viewFromMs(), 111000.0 + 5 * 25);
        QCOMPARE(dragged.constLast().at(0).value<std::int64_t>(), 111000 + 5 * 25 + 10000);
        view->showRange(1000000, 1002000);
        QVERIFY(view->viewFromMs() < 1000000 && view->viewFromMs() + view->viewSpanMs() > 1002000);
        QVERIFY(view->viewSpanMs() < 3000);
        view->showWholeFile();
        QVERIFY(!view->isZoomed());
        QCOMPARE(view->viewFromMs(), 0.0);
    }

    // While playing, only the cursor's old and new columns are repainted, and nothing when it
    // stays in its column; a page turn while zoomed repaints the whole panel.
    void cursorRepaintsOnlyTheColumnsItLeavesAndEnters_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<std::int64_t>("fromMs");
        QTest::addColumn<std::int64_t>("toMs");
        QTest::addColumn<QRegion>("painted");
        QTest::newRow("same column")
            << 1.0 << std::int64_t(1000) << std::int64_t(1040) << QRegion();
        QTest::newRow("next column")
            << 1.0 << std::int64_t(1000) << std::int64_t(1200) << QRegion(10, 0, 2, 120);
        QTest::newRow("a jump") << 1.0 << std::int64_t(1000) << std::int64_t(60000)
                                << (QRegion(10, 0, 1, 120) + QRegion(305, 0, 1, 120));
        QTest::newRow("zoomed, page turned")
            << 8.0 << std::int64_t(1000) << std::int64_t(20000) << QRegion(0, 0, 411, 120);
    }
    void cursorRepaintsOnlyTheColumnsItLeavesAndEnters() {
        QFETCH(double, zoom);
        QFETCH(std::int64_t, fromMs);
        QFETCH(std::int64_t, toMs);
        QFETCH(QRegion, painted);
        view->zoomAround(zoom, 0);
        view->setPosition(fromMs);
        PaintRecorder recorder;
        QCoreApplication::processEvents();
        view->installEventFilter(&recorder);
        view->setPosition(toMs);
        QCoreApplication::processEvents();
        QCOMPARE(recorder.painted, painted);
    }

    void arrivedPeaksAreDrawnAndTheRestStaysBlack() {
        WaveformPeaks peaks(PeakLayout{1000, 1000, 80}); // a bucket is a second
        peaks.append(std::vector<PeakRange>(40, PeakRange{-127, 127}));
        view->setPeaks(&peaks);
        const QImage image = view->grab().toImage();
        const int middle = view->height() / 2;
        QCOMPARE(QColor(image.pixel(100, middle)), WaveformView::peakColor());
        QCOMPARE(QColor(image.pixel(300, middle)), WaveformView::backgroundColor());
        peaks.append(std::vector<PeakRange>(40, PeakRange{-127, 127}));
        view->showArrivedPeaks(40000, 80000);
        QCOMPARE(QColor(view->grab().toImage().pixel(300, middle)), WaveformView::peakColor());
    }

    void markTimeText_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << "0:00.000";
        QTest::newRow("under a minute") << qint64(59999) << "0:59.999";
        QTest::newRow("a minute and a bit") << qint64(61007) << "1:01.007";
        QTest::newRow("past an hour, minutes go on") << qint64(3723004) << "62:03.004";
    }
    void markTimeText() {
        QFETCH(qint64, ms);
        QFETCH(QString, expected);
        QCOMPARE(WaveformView::markTimeText(ms), expected);
    }

    void textReadsOnItsBlackPlate_data() {
        QTest::addColumn<QColor>("text");
        QTest::newRow("start mark time") << WaveformView::startMarkColor();
        QTest::newRow("end mark time") << WaveformView::endMarkColor();
    }
    void textReadsOnItsBlackPlate() {
        QFETCH(QColor, text);
        QVERIFY(contrast(text, WaveformView::backgroundColor()) >= 4.5);
    }
};

SNIPORA_TEST(TestWaveformView)
#include "tst_waveform_view.moc"
