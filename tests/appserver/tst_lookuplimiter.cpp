// The consumer look-up buckets with a simulated clock: the default rule lets a kiosk's real queue through
// and holds a badge-enumeration loop to its rate; the table of keys stays bounded.
#include "front/LookupLimiter.h"
#include "support/Rows.h"

#include <QtTest>

namespace {

using namespace std::chrono_literals;
using Clock = LookupLimiter::Clock;

struct Traffic {
    int served = 0;
    int held = 0;
};

// `count` look-ups from one key: `burst` of them `within` apart, then a pause of `pause` before the next
// burst.
Traffic drive(LookupLimiter& limiter, int count, int burst, Clock::duration within, Clock::duration pause) {
    Traffic traffic;
    Clock::time_point now{};
    for (int i = 0; i < count; ++i) {
        (limiter.take(QStringLiteral("terminal 0001001"), now) ? traffic.served : traffic.held)++;
        now += (i + 1) % burst == 0 ? pause : within;
    }
    return traffic;
}

}  // namespace

class LookupLimiterTest : public QObject {
    Q_OBJECT
private slots:
    void defaultRule_data() {
        QTest::addColumn<int>("burst");
        QTest::addColumn<qint64>("withinMs");
        QTest::addColumn<qint64>("pauseMs");
        QTest::addColumn<int>("maxHeld");
        QTest::addColumn<int>("maxServed");
        // A queue at the kiosk: a consultation takes a few seconds, a group arrives together now and then.
        dataRow("one consumer every 4 s", 1, qint64(4000), qint64(4000), 0, 1000);
        dataRow("groups of 5, 2 s apart, then a 20 s lull", 5, qint64(2000), qint64(20000), 0, 1000);
        dataRow("groups of 10 swiping at once, every 40 s", 10, qint64(300), qint64(40000), 0, 1000);
        // A loop trying badges: 1000 tries in 200 s get the burst and 20 a minute.
        dataRow("a badge every 200 ms", 1, qint64(200), qint64(200), 1000, 10 + 67);
        dataRow("a badge every 10 ms", 1, qint64(10), qint64(10), 1000, 10 + 4);
    }

    void defaultRule() {
        QFETCH(int, burst);
        QFETCH(qint64, withinMs);
        QFETCH(qint64, pauseMs);
        QFETCH(int, maxHeld);
        QFETCH(int, maxServed);
        LookupLimiter limiter(LookupLimiter::Rule{});
        const Traffic traffic = drive(limiter, 1000, burst, std::chrono::milliseconds(withinMs),
                                      std::chrono::milliseconds(pauseMs));
        QVERIFY2(traffic.held <= maxHeld, qPrintable(QString::number(traffic.held)));
        QVERIFY2(traffic.served <= maxServed, qPrintable(QString::number(traffic.served)));
    }

    void refusalEpisodeStartsOnce() {
        LookupLimiter limiter({60, 2, 100});
        const Clock::time_point now{};
        QList<bool> started;
        for (int i = 0; i < 4; ++i) {
            bool first = false;
            limiter.take(QStringLiteral("k"), now, &first);
            started << first;
        }
        QCOMPARE(started, (QList<bool>{false, false, true, false}));
        bool first = true;
        QVERIFY(limiter.take(QStringLiteral("k"), now + 1s, &first));
        QVERIFY(!first);
    }

    void keysStayBounded() {
        LookupLimiter limiter({60, 2, 100});
        Clock::time_point now{};
        limiter.take(QStringLiteral("throttled"), now);
        limiter.take(QStringLiteral("throttled"), now);
        for (int i = 0; i < 1000; ++i) {
            limiter.take(QStringLiteral("key %1").arg(i), now);
            now += 10ms;
        }
        QVERIFY(limiter.keyCount() <= 100);
    }
};

QTEST_GUILESS_MAIN(LookupLimiterTest)
#include "tst_lookuplimiter.moc"
