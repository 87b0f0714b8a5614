#pragma once

#include <QColor>
#include <QtGlobal>

namespace Catraca {

// Colours as the window framework stores them: 0x00BBGGRR, blue in the high
// byte, red in the low one.
using TColor = quint32;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clSilver = 0x00C0C0C0;

inline QColor ToQColor(TColor color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

}  // namespace Catraca
