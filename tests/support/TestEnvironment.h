#pragma once

#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include "support/FixedClock.h"

// Isolates one test: a registry and a working folder of its own in a temporary directory, and a fixed clock.
// Create one in each test's init() (or at the top of a test) and let it go at the end.
class TestEnvironment {
public:
    explicit TestEnvironment(const QDateTime& now = QDateTime(QDate(2024, 5, 15), QTime(10, 30, 0)));
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return m_dir.path(); }
    // The INI file that holds the terminal's registry key.
    QString registryFile() const;

    // Writes the registry values as an operator would have left them.
    void setRegistryValue(const QString& name, const QString& value);
    QString registryValue(const QString& name) const;
    // Overwrites the registry file with text that is no INI file; false when it cannot be written.
    bool corruptRegistryFile() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousDataHome;
    ScopedClock m_clock;
};
