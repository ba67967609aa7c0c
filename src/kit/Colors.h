#pragma once

#include <QColor>

// Colours as the kiosk's layouts state them: 24-bit values stored blue-green-red (0x00BBGGRR).
constexpr QRgb bgrToRgb(quint32 bgr) {
    return qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}
inline QColor fromBgr(quint32 bgr) {
    return QColor(bgrToRgb(bgr));
}

namespace colors {
constexpr quint32 Navy = 0x800000;
constexpr quint32 Purple = 0x800080;
constexpr quint32 Silver = 0xC0C0C0;
constexpr quint32 Gray = 0x808080;
constexpr quint32 White = 0xFFFFFF;
constexpr quint32 Black = 0x000000;
constexpr quint32 ButtonFace = 0xF0F0F0;
constexpr quint32 InfoBackground = 0xE1FFFF;  // the tooltip background
constexpr quint32 LightGrey = 0xD6D6D6;       // red, green and blue 214
constexpr quint32 PanelGrey = 0xD6D6D6;       // 14079702
}  // namespace colors
