#pragma once

#include <QString>

#include <stdexcept>

// Unwinds an event handler without a further report: the user has already been told (the silent abort).
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operação abortada."; }
};

// A failure whose text is meant for the person at the kiosk.
class KioskError : public std::runtime_error {
public:
    explicit KioskError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// A day, month and year that make no calendar date.
class DateError : public KioskError {
public:
    using KioskError::KioskError;
};
