#include "tests/PeakMemory.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/gdi/MemoryAccount.h"

// Sanitizers bring their own operator new.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMORA_COUNT_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELMORA_COUNT_NEW 0
#endif
#endif
#ifndef VELMORA_COUNT_NEW
#define VELMORA_COUNT_NEW 1
#endif

namespace velmora::test {

namespace {

std::atomic<std::int64_t> held{0};
std::atomic<std::int64_t> peak{0};
std::atomic<std::int64_t> start{0};

void Add(std::int64_t delta) {
  const std::int64_t now = held += delta;
  std::int64_t top = peak.load();
  while (now > top && !peak.compare_exchange_weak(top, now)) {
  }
}

const bool observing = [] {
  SetBitmapMemoryObserver(&Add);
  return true;
}();

}  // namespace

void StartPeak() {
  start = held.load();
  peak = start.load();
}

std::int64_t PeakSinceStart() {
  return peak.load() - start.load();
}

#if !VELMORA_COUNT_NEW
bool PeakCountsNew() {
  return false;
}
#else
bool PeakCountsNew() {
  return observing;
}

namespace {
void* Allocate(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (p) Add(std::int64_t(malloc_usable_size(p)));
  return p;
}
void Free(void* p) {
  if (!p) return;
  Add(-std::int64_t(malloc_usable_size(p)));
  std::free(p);
}
}  // namespace
#endif

}  // namespace velmora::test

#if VELMORA_COUNT_NEW
void* operator new(std::size_t size) {
  if (void* p = velmora::test::Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return velmora::test::Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return velmora::test::Allocate(size);
}
void operator delete(void* p) noexcept {
  velmora::test::Free(p);
}
void operator delete[](void* p) noexcept {
  velmora::test::Free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  velmora::test::Free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  velmora::test::Free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  velmora::test::Free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  velmora::test::Free(p);
}
#endif
