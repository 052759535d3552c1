// Split points and pieces: order, merging closer than one frame, titles and switches kept.
#include "core/pieces.h"
#include "support/test_main.h"

#include <QTest>

using namespace snipora;

using Points = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Points)

class TestPieces : public QObject {
    Q_OBJECT
private slots:
    void splitPoints_data() {
        QTest::addColumn<Points>("added");
        QTest::addColumn<Points>("expected");
        // A source of 10 s whose frames last 26 ms.
        QTest::newRow("kept in order") << Points{7000, 2000, 5000} << Points{2000, 5000, 7000};
        QTest::newRow("closer than a frame merge into the first")
            << Points{2000, 2025, 1975} << Points{2000};
        QTest::newRow("one frame apart stay two") << Points{2000, 2026} << Points{2000, 2026};
        QTest::newRow("near either end is no point")
            << Points{0, 25, 9975, 10000, -5, 12000} << Points{};
        QTest::newRow("a duplicate is one point") << Points{3000, 3000} << Points{3000};
    }
    void splitPoints() {
        QFETCH(Points, added);
        QFETCH(Points, expected);
        PieceList list(10000, 26);
        for (const std::int64_t point : added) {
            list.addSplitPoint(point);
        }
        QCOMPARE(list.splitPoints(), expected);
        PieceList replaced(10000, 26);
        replaced.setSplitPoints(added);
        QCOMPARE(replaced.splitPoints(), expected);

        // The pieces cover the source end to end.
        const std::vector<Piece> pieces = list.pieces();
        QCOMPARE(pieces.size(), expected.size() + 1);
        QCOMPARE(pieces.front().startMs, 0);
        QCOMPARE(pieces.back().endMs, 10000);
        for (std::size_t i = 1; i < pieces.size(); ++i) {
            QCOMPARE(pieces[i].startMs, pieces[i - 1].endMs);
        }
    }

    void titlesFollowTheirPieces() {
        PieceList list(10000, 26);
        list.setSplitPoints({4000, 8000});
        list.setTitle(0, "Intro");
        list.setTitle(1, "Song");
        list.setEnabled(1, false);
        list.setTitle(2, "Outro");
        QVERIFY(list.addSplitPoint(6000)); // splits "Song"
        auto pieces = list.pieces();
        QCOMPARE(pieces.size(), 4u);
        QCOMPARE(pieces[1], (Piece{4000, 6000, "Song", false}));
        QCOMPARE(pieces[2], (Piece{6000, 8000, "", true}));
        QCOMPARE(pieces[3].title, "Outro");
        list.removeSplitPoint(0); // "Intro" swallows "Song"
        pieces = list.pieces();
        QCOMPARE(pieces[0], (Piece{0, 6000, "Intro", true}));
        QCOMPARE(pieces[2].title, "Outro");
        // A dragged point keeps every title and stops a frame short of its neighbour.
        QVERIFY(list.moveSplitPoint(1, 1000));
        pieces = list.pieces();
        QCOMPARE(pieces[1], (Piece{6000, 6026, "", true}));
        QCOMPARE(pieces[2], (Piece{6026, 10000, "Outro", true}));
        QVERIFY(!list.moveSplitPoint(2, 1000));
    }
};

SNIPORA_TEST(TestPieces)
#include "tst_pieces.moc"
