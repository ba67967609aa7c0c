#include "kit/core/VirtualKeys.h"

namespace vk {

int fromQtKey(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return qtKey;  // digits and letters share their codes
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return 112 + (qtKey - Qt::Key_F1);
    }
    switch (qtKey) {
        case Qt::Key_Backspace: return Back;
        case Qt::Key_Tab: return Tab;
        case Qt::Key_Return:
        case Qt::Key_Enter: return Return;
        case Qt::Key_Shift: return Shift;
        case Qt::Key_Control: return Control;
        case Qt::Key_Alt: return Menu;
        case Qt::Key_CapsLock: return Capital;
        case Qt::Key_Escape: return Escape;
        case Qt::Key_Space: return Space;
        case Qt::Key_Left: return Left;
        case Qt::Key_Up: return Up;
        case Qt::Key_Right: return Right;
        case Qt::Key_Down: return Down;
        case Qt::Key_Delete: return Delete;
        default: return 0;
    }
}

bool altAlone(Qt::KeyboardModifiers modifiers) {
    return (modifiers & ~Qt::KeypadModifier) == Qt::AltModifier;
}

}  // namespace vk
