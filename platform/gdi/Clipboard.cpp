#include "platform/gdi/Clipboard.h"

#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace velmora {

struct GlobalBlock {
  std::vector<std::uint8_t> bytes;
  int locks = 0;
};

namespace {

struct Board {
  std::mutex lock;
  std::map<std::string, UINT> names;
  UINT next = 0xC000;
  bool open = false;
  bool refuse = false;
  std::map<UINT, HANDLE> data;
};

Board& B() {
  static Board b;
  return b;
}

void Release(UINT format, HANDLE data) {
  if (format == CF_BITMAP)
    DeleteObject(static_cast<HBITMAP>(data));
  else
    delete static_cast<GlobalBlock*>(data);
}

}  // namespace

UINT RegisterClipboardFormat(const std::string& name) {
  if (name.empty()) return 0;
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  auto it = b.names.find(name);
  if (it != b.names.end()) return it->second;
  UINT id = b.next++;
  b.names[name] = id;
  return id;
}

std::string GetClipboardFormatName(UINT format) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  for (const auto& [name, id] : b.names)
    if (id == format) return name;
  return std::string();
}

HGLOBAL GlobalAlloc(UINT /*flags*/, std::size_t bytes) {
  auto* block = new (std::nothrow) GlobalBlock;
  if (!block) return nullptr;
  try {
    block->bytes.resize(bytes);
  } catch (const std::bad_alloc&) {
    delete block;
    return nullptr;
  }
  return block;
}

void* GlobalLock(HGLOBAL block) {
  if (!block) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

bool GlobalUnlock(HGLOBAL block) {
  if (!block || block->locks == 0) return false;
  return --block->locks > 0;
}

std::size_t GlobalSize(HGLOBAL block) {
  return block ? block->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  delete block;
  return nullptr;
}

bool OpenClipboard(void* /*owner*/) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  if (b.open) return false;
  b.open = true;
  return true;
}

bool CloseClipboard() {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  bool was = b.open;
  b.open = false;
  return was;
}

bool EmptyClipboard() {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  if (!b.open) return false;
  for (auto& [format, data] : b.data) Release(format, data);
  b.data.clear();
  return true;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  if (!b.open || b.refuse || !data) return nullptr;
  auto it = b.data.find(format);
  if (it != b.data.end()) Release(format, it->second);
  b.data[format] = data;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  auto it = b.data.find(format);
  return it == b.data.end() ? nullptr : it->second;
}

bool IsClipboardFormatAvailable(UINT format) {
  return GetClipboardData(format) != nullptr;
}

void SetClipboardRefusesData(bool refuse) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  b.refuse = refuse;
}

void SetNextClipboardFormat(UINT format) {
  Board& b = B();
  std::lock_guard<std::mutex> hold(b.lock);
  b.next = format;
}

}  // namespace velmora
