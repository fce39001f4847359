// The class library's colours as Qt colours.
#pragma once

#include <QColor>

#include "platform/classes/Classes.h"

namespace velmora {

// True for an RGB colour; false for a system or default colour.
inline bool IsRgb(TColor c) {
  return (c & 0xFF000000) == 0;
}

inline QColor ToQColor(TColor c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace velmora
