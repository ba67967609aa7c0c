#pragma once

#include <QList>
#include <QString>

// The demo network's fixed catalogue, shared by the tables it fills and the sales it invents.
namespace demo {

struct Product {
    QString code;
    QString name;
    QString subGroup;
    QString tree;       // CDARVPROD: position in the product tree
    double employee;    // unit price charged to the consumer
    double subsidised;  // unit price paid by the employer
};

struct SubGroup {
    QString code;
    QString name;
    QString group;
};

struct Group {
    QString code;
    QString name;
};

const QList<Group>& groups();
const QList<SubGroup>& subGroups();
const QList<Product>& products();
const Product& product(const QString& code);

}  // namespace demo
