#pragma once

#include <QTest>

// One data row on one line: dataRow("name", a, b, c) is QTest::newRow("name") << a << b << c.
template <typename... Values>
void dataRow(const char* name, Values... values) {
    (QTest::newRow(name) << ... << values);
}

#define VERIFY_SCRIPT(script) QVERIFY2((script).faults().isEmpty(), qPrintable((script).faults().join(u'\n')))
