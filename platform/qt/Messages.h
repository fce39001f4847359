// The window messages and the link notification record that the result view
// sends its owner, laid out as the form's handlers read them. Only what the
// form uses is here.
#pragma once

#include <cstdint>

namespace velmora {

constexpr unsigned WM_NOTIFY = 0x004E;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
constexpr unsigned WM_MBUTTONUP = 0x0208;
constexpr unsigned WM_MBUTTONDBLCLK = 0x0209;

constexpr unsigned EN_LINK = 0x070B;
// Event mask bit of the view: report mouse events over links.
constexpr std::uint32_t ENM_LINK = 0x04000000;

struct NMHDR {
  void* hwndFrom = nullptr;
  std::uintptr_t idFrom = 0;
  unsigned code = 0;
};

struct CHARRANGE {
  std::int32_t cpMin = 0;  // first position
  std::int32_t cpMax = 0;  // position after the last
};

struct ENLINK {
  NMHDR nmhdr;
  unsigned msg = 0;  // the mouse message over the link
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  CHARRANGE chrg;
};

struct TMessage {
  unsigned Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;  // for WM_NOTIFY: the address of the record
  std::intptr_t Result = 0;
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateBit : unsigned {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64,
};
using TShiftState = unsigned;

}  // namespace velmora
