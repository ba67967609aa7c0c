// The consumer look-up buckets with a simulated clock: the default rule lets a kiosk's real queue through
// and holds a badge-enumeration loop to its rate; the table of keys stays bounded.
#include "front/LookupLimiter.h"
#include "support/Rows.h"

#include <QtTest>

using namespace std::chrono_literals;
using Clock = LookupLimiter::Clock;

class LookupLimiterTest : public QObject {
    Q_OBJECT
private slots:
    // 1000 look-ups from one terminal: groups of `burst`, `withinMs` apart, then `pauseMs` before the next.
    void defaultRule_data() {
        QTest::addColumn<int>("burst");
        QTest::addColumn<int>("withinMs");
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<int>("maxHeld");
        QTest::addColumn<int>("maxServed");
        // A queue at the kiosk: a consultation takes a few seconds, a group arrives together now and then.
        dataRow("one consumer every 4 s", 1, 4000, 4000, 0, 1000);
        dataRow("groups of 5, 2 s apart, then a 20 s lull", 5, 2000, 20000, 0, 1000);
        dataRow("groups of 10 swiping at once, every 40 s", 10, 300, 40000, 0, 1000);
        // A loop trying badges: 1000 tries in 200 s get the burst and 20 a minute.
        dataRow("a badge every 200 ms", 1, 200, 200, 1000, 10 + 67);
        dataRow("a badge every 10 ms", 1, 10, 10, 1000, 10 + 4);
    }

    void defaultRule() {
        QFETCH(int, burst);
        QFETCH(int, withinMs);
        QFETCH(int, pauseMs);
        QFETCH(int, maxHeld);
        QFETCH(int, maxServed);
        LookupLimiter limiter(LookupLimiter::Rule{});
        int served = 0;
        Clock::time_point now{};
        for (int i = 1; i <= 1000; ++i) {
            served += limiter.take(QStringLiteral("terminal 0001001"), now) ? 1 : 0;
            now += std::chrono::milliseconds(i % burst == 0 ? pauseMs : withinMs);
        }
        QVERIFY2(1000 - served <= maxHeld, qPrintable(QString::number(served)));
        QVERIFY2(served <= maxServed, qPrintable(QString::number(served)));
    }

    // Only the first refusal of a run says so; a look-up let through ends the run.
    void refusalEpisodeStartsOnce() {
        LookupLimiter limiter({60, 2, 100});
        QStringList takes;
        for (const int second : {0, 0, 0, 0, 1}) {
            bool first = true;
            const bool served = limiter.take(QStringLiteral("k"), Clock::time_point{} + second * 1s, &first);
            takes << QString(served ? "served" : "held") + (first ? " first" : "");
        }
        QCOMPARE(takes.join(", "), QString("served, served, held first, held, served"));
    }

    void keysStayBounded() {
        LookupLimiter limiter({60, 2, 100});
        Clock::time_point now{};
        limiter.take(QStringLiteral("throttled"), now);
        limiter.take(QStringLiteral("throttled"), now);
        for (int i = 0; i < 1000; ++i, now += 10ms) {
            limiter.take(QStringLiteral("key %1").arg(i), now);
        }
        QVERIFY(limiter.keyCount() <= 100);
    }
};

QTEST_GUILESS_MAIN(LookupLimiterTest)
#include "tst_lookuplimiter.moc"
