// The demo network's crowd: consumers of every client company and a year of their lunches, snacks,
// monthly credits, cancellations and balance adjustments, invented from a fixed seed.
#include "store/BatchInsert.h"
#include "store/Database.h"
#include "demo/DemoData.h"
#include "demo/DemoWriter.h"

#include <array>

namespace demo {
namespace {

// splitmix64: the same numbers on every platform and compiler, unlike the standard distributions.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next() {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int bound) { return static_cast<int>(next() % static_cast<quint64>(bound)); }
    bool chance(double probability) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < probability; }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

private:
    quint64 m_state;
};

struct Profile {
    int consumers;
    double lunchChance;  // on a working day
    double snackChance;
};

Profile profileOf(Size size) {
    return size == Size::Small ? Profile{60, 0.7, 0.25} : Profile{50000, 0.21, 0.05};
}

struct Company {
    const char* client;
    const char* branch;
    std::array<const char*, 2> stores;  // lunch store, snack store
};

constexpr std::array<Company, 4> companies{{{"10", "0001", {"1", "3"}},
                                            {"20", "0001", {"1", "2"}},
                                            {"30", "0002", {"1", "2"}},
                                            {"40", "0003", {"1", "1"}}}};

constexpr std::array<const char*, 12> firstNames{"Mariana",  "João",    "Beatriz", "Rafael",
                                                 "Camila",   "Lucas",   "Juliana", "Pedro",
                                                 "Fernanda", "Gustavo", "Larissa", "Thiago"};
constexpr std::array<const char*, 10> lastNames{"Almeida", "Barbosa", "Costa",   "Dias",     "Ferreira",
                                                "Gomes",   "Lima",    "Moreira", "Oliveira", "Santos"};
constexpr std::array<const char*, 3> mainDishes{"1001", "1002", "1003"};
constexpr std::array<const char*, 4> drinks{"2001", "2002", "2101", "2102"};
constexpr std::array<const char*, 2> desserts{"1202", "1201"};
constexpr std::array<const char*, 6> snacks{"1101", "1102", "3001", "3002", "3101", "2001"};

QList<Line> lunch(Random& random) {
    QList<Line> lines{{QString::fromLatin1(random.pick(mainDishes)), 1}};
    if (random.chance(0.6)) {
        lines.append({QString::fromLatin1(random.pick(drinks)), 1});
    }
    if (random.chance(0.4)) {
        const QString dessert = QString::fromLatin1(random.pick(desserts));
        // The fruit salad is sold by weight.
        lines.append({dessert, dessert == QLatin1String("1201") ? 0.2 + 0.05 * random.below(6) : 1.0});
    }
    if (random.chance(0.15)) {
        lines.append({QStringLiteral("1301"), 1});
    }
    return lines;
}

QList<Line> snack(Random& random) {
    QList<Line> lines{{QString::fromLatin1(random.pick(snacks)), 1}};
    if (random.chance(0.3)) {
        lines.append({QStringLiteral("1302"), 1});
    }
    return lines;
}

QDateTime moment(const QDate& day, int firstMinute, int spanMinutes, Random& random) {
    return QDateTime(day, QTime(0, 0).addSecs(60 * (firstMinute + random.below(spanMinutes))));
}

void writeDay(DemoWriter& writer, Account& account, const Company& company, const QDate& day,
              const Profile& profile, Random& random) {
    if (day.day() == 5) {
        writer.movement(account, QDateTime(day, QTime(7, 0)), QLatin1Char('C'),
                        150.0 + 10.0 * random.below(16));
    }
    const bool workingDay = day.dayOfWeek() <= 5;
    const QString registerCode = QStringLiteral("1%1").arg(random.below(9) + 1, 2, 10, QLatin1Char('0'));
    if (random.chance(workingDay ? profile.lunchChance : profile.lunchChance / 5)) {
        writer.sale(account, QString::fromLatin1(company.stores[0]), registerCode,
                    moment(day, 11 * 60 + 15, 150, random), lunch(random), random.chance(0.01));
    }
    if (random.chance(profile.snackChance)) {
        writer.sale(account, QString::fromLatin1(company.stores[1]), registerCode,
                    moment(day, 15 * 60, 180, random), snack(random), random.chance(0.01));
    }
    if (random.chance(0.004)) {
        writer.movement(account, moment(day, 17 * 60, 60, random), QLatin1Char('A'),
                        (random.below(41) - 20) * 0.5);
    }
}

void writeYear(DemoWriter& writer, Account& account, const Company& company, const QDate& today,
               const Profile& profile, Random& random) {
    const QDate first = today.addDays(-365);
    writer.movement(account, QDateTime(first, QTime(7, 0)), QLatin1Char('C'), 200.0);
    for (QDate day = first; day < today; day = day.addDays(1)) {
        writeDay(writer, account, company, day, profile, random);
    }
}

}  // namespace

qint64 writePopulation(Connection& db, DemoWriter& writer, Size size, const QDate& today) {
    const Profile profile = profileOf(size);
    BatchInsert consumers(
        db, QStringLiteral("CONSUMIDOR"),
        {QStringLiteral("CDCLIENTE"), QStringLiteral("CDCONSUMIDOR"), QStringLiteral("NMCONSUMIDOR"),
         QStringLiteral("CDCRACHA"), QStringLiteral("IDATIVO")});
    constexpr int ConsumersPerTransaction = 500;
    db.transaction();
    for (int index = 0; index < profile.consumers; ++index) {
        Random random(static_cast<quint64>(index) + 1);
        const Company& company = companies[static_cast<std::size_t>(index) % companies.size()];
        Account account{QString::fromLatin1(company.branch), QString::fromLatin1(company.client),
                        QString::number(2001 + index)};
        const QString name =
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(random.pick(firstNames)), QString::fromUtf8(random.pick(lastNames)),
                     QString::fromUtf8(random.pick(lastNames)));
        consumers.add({account.client, account.consumer, name,
                       QStringLiteral("%1").arg(50000 + index, 8, 10, QLatin1Char('0')),
                       QStringLiteral("S")});
        writeYear(writer, account, company, today, profile, random);
        if ((index + 1) % ConsumersPerTransaction == 0) {
            consumers.flush();
            writer.flush();
            db.commit();
            db.transaction();
        }
    }
    consumers.flush();
    writer.flush();
    db.commit();
    return profile.consumers;
}

}  // namespace demo
