#pragma once

#include <QString>

// True when the text holds nothing to show: empty or only blanks and control characters.
bool EmptyString(const QString& text);

// Compares two texts by character codes, as the register parameters' string tests do.
inline bool textGreater(const QString& left, const QString& right) { return QString::compare(left, right, Qt::CaseSensitive) > 0; }
inline bool textLess(const QString& left, const QString& right) { return QString::compare(left, right, Qt::CaseSensitive) < 0; }
