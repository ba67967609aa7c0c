#pragma once

#include <QString>
#include <QStringList>

// What is wrong with the files, as "FILE:LINE: column: reason" lines: the first ones in full, all counted.
class Problems {
public:
    static constexpr int Shown = 50;

    // Line 0: the file as a whole.
    void add(const QString& file, qint64 line, const QString& column, const QString& reason);
    qint64 count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    const QStringList& shown() const { return m_shown; }
    // Room left in the shown lines (a query that lists problems asks for no more than this).
    int room() const { return Shown - static_cast<int>(m_shown.size()); }
    // Counts problems beyond those added one by one.
    void countMore(qint64 more) { m_count += more; }

private:
    QStringList m_shown;
    qint64 m_count = 0;
};
