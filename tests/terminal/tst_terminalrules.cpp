#include <QTest>

#include "kit/core/Errors.h"
#include "support/Rows.h"
#include "terminal/ConsultationPeriod.h"
#include "terminal/Marquee.h"

using marquee::Copy;

class TestTerminalRules : public QObject {
    Q_OBJECT
private slots:
    void consultationPeriod_data() {
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        dataRow("calendar month", "", "", QDate(2024, 5, 15), QDate(2024, 5, 1), QDate(2024, 5, 31));
        dataRow("end day only", "", "25", QDate(2024, 5, 15), QDate(2024, 5, 1), QDate(2024, 5, 25));
        dataRow("began this month", "16", "15", QDate(2024, 1, 20), QDate(2024, 1, 16), QDate(2024, 2, 15));
        dataRow("began last year", "16", "15", QDate(2024, 1, 10), QDate(2023, 12, 16), QDate(2024, 1, 15));
        dataRow("end limited to leap February", "10", "31", QDate(2024, 1, 12), QDate(2024, 1, 10),
                QDate(2024, 2, 29));
        dataRow("start set, end of next month", "16", "", QDate(2024, 3, 20), QDate(2024, 3, 16),
                QDate(2024, 4, 30));
        dataRow("start later this month", "16", "", QDate(2024, 3, 10), QDate(2024, 3, 16),
                QDate(2024, 3, 31));
        dataRow("on the start day", "16", "15", QDate(2024, 1, 16), QDate(2024, 1, 16), QDate(2024, 2, 15));
        dataRow("blank start reads as 1", "  ", "", QDate(2023, 2, 3), QDate(2023, 2, 1), QDate(2023, 2, 28));
    }
    void consultationPeriod() {
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(QDate, today);
        const ConsultationPeriod period = ConsultationPeriod::containing(today, startDay, endDay);
        QTEST(period.start, "start");
        QTEST(period.end, "end");
    }

    void impossiblePeriodRaises_data() {
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        dataRow("31 in a 30-day start month", "31", "30");  // start 31/04
        dataRow("start day is no number", "abc", "");
        dataRow("end day is no number", "", "x1");
    }
    void impossiblePeriodRaises() {
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        const QDate today(2024, 5, 10);
        QVERIFY_THROWS_EXCEPTION(KioskError, ConsultationPeriod::containing(today, startDay, endDay));
    }

    void marqueeColour_data() {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("blue");
        dataRow("entering is pure red", 787, 200, 255, 0);
        dataRow("right edge at 0 is pure blue", -200, 200, 0, 255);
        dataRow("still message across the strip", 0, 537, 103, 152);
        dataRow("beyond the left edge wraps as a byte", -210, 200, 254, 1);
    }
    void marqueeColour() {
        QFETCH(int, left);
        QFETCH(int, width);
        const marquee::Colour colour = marquee::colourOf({left, width});
        QTEST(int(colour.red), "red");
        QTEST(int(colour.blue), "blue");
    }

    void narrowMessageFollowedAtOnce() {
        std::vector<Copy> copies{marquee::firstCopy(537, 300)};
        QCOMPARE(copies[0].left, 237);
        QCOMPARE(marquee::tick(copies, 300), 0);
        QCOMPARE(copies.size(), size_t(2));
        QCOMPARE(copies[0].left, 232);
        QCOMPARE(copies[1].left, 782);
    }

    void wideMessageFollowedOn31stTick() {
        std::vector<Copy> copies{marquee::firstCopy(537, 700)};
        QCOMPARE(copies[0].left, 50);
        for (int tickNumber = 1; tickNumber <= 30; ++tickNumber) {
            marquee::tick(copies, 700);
            QCOMPARE(copies.size(), size_t(1));
        }
        marquee::tick(copies, 700);
        QCOMPARE(copies.size(), size_t(2));
        QCOMPARE(copies[0].right(), 595);
    }

    void copyLeavingStripIsDropped() {
        std::vector<Copy> copies{{-298, 300}, {500, 300}};
        QCOMPARE(marquee::tick(copies, 300), 1);
        QCOMPARE(copies.size(), size_t(1));
        QCOMPARE(copies[0].left, 495);  // the copy that became first moved in the same tick
    }
};

QTEST_GUILESS_MAIN(TestTerminalRules)
#include "tst_terminalrules.moc"
