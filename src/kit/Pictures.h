#pragma once

#include <QPixmap>

// The kiosk's own pictures, drawn at run time: message icons, button glyphs and the shell's background.
namespace pictures {

enum class Icon { Information, Question, Alert, Error };
enum class Glyph { Ok, Yes, No, Details, ArrowUp, ArrowDown, First, Last, ExitDoor, Clear, Previous, Next };

QPixmap icon(Icon kind, int size = 36);
QPixmap glyph(Glyph kind, int size = 32);
QPixmap background(const QSize& size);

}  // namespace pictures
