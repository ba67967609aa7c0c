#pragma once

#include <QChar>
#include <QString>

// The entry rules shared by every numeric keypad of the kiosk (set-up keypad and consultation terminal).
namespace keypad {

constexpr int MaxLength = 21;

// Characters of code 0 to 7 and 9 become the digit of the same value; code 8 (backspace) is left alone.
QChar normalized(QChar typed);
// True for "0" to "9", "." and ",".
bool accepts(QChar c);
// The buffer after one typed character: normalised, accepted, and appended while there is room.
QString typed(const QString& buffer, QChar c);
// The buffer without its last character ("Corrigir").
QString corrected(const QString& buffer);

}  // namespace keypad
