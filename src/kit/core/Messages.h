#pragma once

#include <QObject>
#include <QStringList>

// A form's keyed message table: lines of "key|text". Every text shown to the consumer comes from one.
class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(QObject* parent = nullptr) : QObject(parent) {}
    TMessages(QStringList lines, QObject* parent) : QObject(parent), m_messages(std::move(lines)) {}

    const QStringList& Messages() const { return m_messages; }
    void setMessages(QStringList lines) { m_messages = std::move(lines); }

    // The text after the first "|" of the first line whose key matches regardless of letter case;
    // an empty text when no line holds the key.
    QString Msg(const QString& key) const;

private:
    QStringList m_messages;
};
