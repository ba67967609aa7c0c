#pragma once

#include <QDate>
#include <QString>

class Connection;

namespace demo {

enum class Size { Small, Large };

struct Summary {
    qint64 consumers = 0;
    qint64 sales = 0;
    qint64 saleLines = 0;
    qint64 movements = 0;
};

// Fills an empty database with the demo network: the same rows for the same size and the same "today",
// the year of activity ending on today so that a consultation made today finds data.
// Raises StoreError, or std::runtime_error when the database already holds a network.
Summary createDemo(Connection& db, Size size, const QDate& today);

// Parts of the generator, each in its own source file.
class DemoWriter;
void writeNetwork(Connection& db);
void writeScriptedConsumers(Connection& db, DemoWriter& writer, const QDate& today);
qint64 writePopulation(Connection& db, DemoWriter& writer, Size size, const QDate& today);

}  // namespace demo
