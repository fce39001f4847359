// The system clipboard as the picture code sees it: registered format
// numbers, movable global memory blocks, and data placed under a format.
// It lives in the process; the Qt layer may mirror it to the desktop's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi/Gdi.h"

namespace velmora {

struct GlobalBlock;
using HGLOBAL = GlobalBlock*;
// Clipboard data: a global block, or a bitmap handle for CF_BITMAP.
using HANDLE = void*;

constexpr UINT CF_BITMAP = 2;
constexpr UINT GMEM_MOVEABLE = 0x0002;

// The same name always gives the same number (0xC000 upward).
UINT RegisterClipboardFormat(const std::string& name);
// Registered name of a format, empty if none.
std::string GetClipboardFormatName(UINT format);

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success

bool OpenClipboard(void* owner);
bool CloseClipboard();
// Frees everything on the clipboard.
bool EmptyClipboard();
// The clipboard owns data from now on; null when it refuses (clipboard not
// open, or refusal switched on for tests), and data stays the caller's.
HANDLE SetClipboardData(UINT format, HANDLE data);
HANDLE GetClipboardData(UINT format);
bool IsClipboardFormatAvailable(UINT format);
void SetClipboardRefusesData(bool refuse);
// Lets tests hand out format numbers past 16 bits.
void SetNextClipboardFormat(UINT format);

}  // namespace velmora
