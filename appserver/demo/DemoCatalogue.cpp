#include "demo/DemoCatalogue.h"

#include <stdexcept>

namespace demo {

const QList<Group>& groups() {
    static const QList<Group> list{{QStringLiteral("1"), QStringLiteral("Refeições")},
                                   {QStringLiteral("2"), QStringLiteral("Bebidas")},
                                   {QStringLiteral("3"), QStringLiteral("Conveniência")}};
    return list;
}

const QList<SubGroup>& subGroups() {
    static const QList<SubGroup> list{
        {QStringLiteral("11"), QStringLiteral("Pratos"), QStringLiteral("1")},
        {QStringLiteral("12"), QStringLiteral("Lanches"), QStringLiteral("1")},
        {QStringLiteral("13"), QStringLiteral("Sobremesas"), QStringLiteral("1")},
        // Courtesies cost nothing: their lines always add up to zero.
        {QStringLiteral("14"), QStringLiteral("Cortesias"), QStringLiteral("1")},
        {QStringLiteral("21"), QStringLiteral("Bebidas Quentes"), QStringLiteral("2")},
        {QStringLiteral("22"), QStringLiteral("Sucos e Refrigerantes"), QStringLiteral("2")},
        {QStringLiteral("31"), QStringLiteral("Mercearia"), QStringLiteral("3")},
        {QStringLiteral("32"), QStringLiteral("Higiene"), QStringLiteral("3")}};
    return list;
}

const QList<Product>& products() {
    static const QList<Product> list{{QStringLiteral("1001"), QStringLiteral("Prato Executivo"),
                                      QStringLiteral("11"), QStringLiteral("01.11.001"), 8.50, 12.50},
                                     {QStringLiteral("1002"), QStringLiteral("Prato Vegetariano"),
                                      QStringLiteral("11"), QStringLiteral("01.11.002"), 7.90, 11.10},
                                     {QStringLiteral("1003"), QStringLiteral("Grelhado do Dia"),
                                      QStringLiteral("11"), QStringLiteral("01.11.003"), 10.00, 14.00},
                                     {QStringLiteral("1101"), QStringLiteral("Sanduíche Natural"),
                                      QStringLiteral("12"), QStringLiteral("01.12.001"), 6.00, 2.00},
                                     {QStringLiteral("1102"), QStringLiteral("Pão de Queijo"),
                                      QStringLiteral("12"), QStringLiteral("01.12.002"), 2.50, 0.50},
                                     {QStringLiteral("1201"), QStringLiteral("Salada de Frutas (kg)"),
                                      QStringLiteral("13"), QStringLiteral("01.13.001"), 20.00, 5.00},
                                     {QStringLiteral("1202"), QStringLiteral("Pudim"), QStringLiteral("13"),
                                      QStringLiteral("01.13.002"), 4.00, 1.00},
                                     {QStringLiteral("1301"), QStringLiteral("Água Mineral Cortesia"),
                                      QStringLiteral("14"), QStringLiteral("01.14.001"), 0.00, 0.00},
                                     {QStringLiteral("1302"), QStringLiteral("Café Cortesia"),
                                      QStringLiteral("14"), QStringLiteral("01.14.002"), 0.00, 0.00},
                                     {QStringLiteral("2001"), QStringLiteral("Café Expresso"),
                                      QStringLiteral("21"), QStringLiteral("02.21.001"), 3.00, 0.00},
                                     {QStringLiteral("2002"), QStringLiteral("Chá"), QStringLiteral("21"),
                                      QStringLiteral("02.21.002"), 2.50, 0.00},
                                     {QStringLiteral("2101"), QStringLiteral("Suco Natural"),
                                      QStringLiteral("22"), QStringLiteral("02.22.001"), 3.00, 1.00},
                                     {QStringLiteral("2102"), QStringLiteral("Refrigerante Lata"),
                                      QStringLiteral("22"), QStringLiteral("02.22.002"), 4.50, 0.00},
                                     {QStringLiteral("3001"), QStringLiteral("Biscoito"),
                                      QStringLiteral("31"), QStringLiteral("03.31.001"), 2.80, 0.00},
                                     {QStringLiteral("3002"), QStringLiteral("Chocolate"),
                                      QStringLiteral("31"), QStringLiteral("03.31.002"), 4.20, 0.00},
                                     {QStringLiteral("3101"), QStringLiteral("Creme Dental"),
                                      QStringLiteral("32"), QStringLiteral("03.32.001"), 5.90, 0.00}};
    return list;
}

const Product& product(const QString& code) {
    for (const Product& candidate : products()) {
        if (candidate.code == code) {
            return candidate;
        }
    }
    throw std::logic_error("unknown demo product");
}

}  // namespace demo
