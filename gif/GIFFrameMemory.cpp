#include "gif/GIFFrameMemory.h"

#include <sys/mman.h>

#include <mutex>
#include <new>
#include <vector>

namespace velmora {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRegions = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kRegions = false;
#else
constexpr bool kRegions = true;
#endif
#else
constexpr bool kRegions = true;
#endif

constexpr std::uintptr_t kPage = 4096;
constexpr std::uintptr_t kLargePage = 2 * 1024 * 1024;
// Address space only: a region's pages are backed as frames are laid in it.
constexpr std::size_t kRegionSize = 64 * 1024 * 1024;
// Where each frame starts in a region, for the decoder's wide writes.
constexpr std::size_t kFrameAlign = 64;

constexpr std::uintptr_t Down(std::uintptr_t a, std::uintptr_t to) {
  return a & ~(to - 1);
}
constexpr std::uintptr_t Up(std::uintptr_t a, std::uintptr_t to) {
  return Down(a + to - 1, to);
}

// Backs [start, end) with memory now: one call instead of a fault for every
// page the decoder first writes. Kernels before 5.14 lack the call, and then
// the pages fault in as before.
void Populate(std::uintptr_t start, std::uintptr_t end) {
#ifdef MADV_POPULATE_WRITE
  if (end > start)
    madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)end;
#endif
}

struct TRegion {
  std::uintptr_t Start = 0;
  std::size_t Size = 0;
  std::size_t Top = 0;     // bytes laid out from Start, freed ones included
  std::size_t Frames = 0;  // frames alive in it
};

// Regions are few (each holds dozens of large frames), so a list will do.
struct TRegions {
  std::mutex Lock;
  std::vector<TRegion> List;
  // The region new frames go to; the others only wait for their frames to
  // be freed.
  std::size_t Current = SIZE_MAX;
};

// Never destroyed: frames that static objects hold may be freed after the
// destructors of this file's statics would have run.
TRegions& Regions() {
  static TRegions* regions = new TRegions;
  return *regions;
}

// A region of at least size bytes, aligned to the large page, that the
// kernel is asked to back with large pages. 0 when it cannot be mapped.
std::uintptr_t MapRegion(std::size_t size) {
  const std::size_t padded = size + kLargePage;
  void* p =
      mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return 0;
  const auto raw = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t start = Up(raw, kLargePage);
  if (start > raw) munmap(p, start - raw);
  const std::uintptr_t end = start + size;
  if (raw + padded > end) munmap(reinterpret_cast<void*>(end), raw + padded - end);
#ifdef MADV_HUGEPAGE
  // Refused where the kernel has no transparent large pages: ordinary pages.
  madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);
#endif
  return start;
}

std::uint8_t* FromHeap(std::size_t size) {
  auto* p = new (std::nothrow) std::uint8_t[size];
  if (p && size >= FrameRegionLeast) {
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    Populate(Up(start, kPage), Down(start + size, kPage));
  }
  return p;
}

std::uint8_t* FromRegion(std::size_t size) {
  TRegions& regions = Regions();
  std::uintptr_t frame = 0;
  {
    std::lock_guard lock(regions.Lock);
    std::vector<TRegion>& list = regions.List;
    TRegion* region = regions.Current < list.size() ? &list[regions.Current] : nullptr;
    if (!region || Up(region->Top, kFrameAlign) + size > region->Size) {
      const std::size_t regionSize =
          size > kRegionSize ? std::size_t(Up(size, kLargePage)) : kRegionSize;
      const std::uintptr_t start = MapRegion(regionSize);
      if (!start) return nullptr;
      list.push_back({start, regionSize, 0, 0});
      regions.Current = list.size() - 1;
      region = &list.back();
    }
    const std::size_t offset = Up(region->Top, kFrameAlign);
    region->Top = offset + size;
    ++region->Frames;
    frame = region->Start + offset;
  }
  // Pages at either end may be shared with a neighbour, and backed already.
  Populate(Down(frame, kPage), Up(frame + size, kPage));
  return reinterpret_cast<std::uint8_t*>(frame);
}

// False when pixels are not in a region (they came from the heap).
bool FreeInRegion(std::uint8_t* pixels, std::size_t size) {
  TRegions& regions = Regions();
  const auto frame = reinterpret_cast<std::uintptr_t>(pixels);
  std::uintptr_t unmap = 0;
  std::size_t unmapSize = 0;
  {
    std::lock_guard lock(regions.Lock);
    std::vector<TRegion>& list = regions.List;
    std::size_t i = 0;
    while (i < list.size() &&
           !(frame >= list[i].Start && frame < list[i].Start + list[i].Size))
      ++i;
    if (i == list.size()) return false;
    TRegion& region = list[i];
    if (--region.Frames == 0) {
      // The last frame of the region: it all goes back to the system.
      unmap = region.Start;
      unmapSize = region.Size;
      list.erase(list.begin() + std::ptrdiff_t(i));
      if (regions.Current == i)
        regions.Current = SIZE_MAX;
      else if (regions.Current != SIZE_MAX && regions.Current > i)
        --regions.Current;
    } else {
      // Large pages wholly inside the frame go back now, while the lock
      // keeps the space from being laid out again; those shared with a
      // living neighbour stay until the region is empty.
      const std::uintptr_t first = Up(frame, kLargePage);
      const std::uintptr_t last = Down(frame + size, kLargePage);
      if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
      // The last frame laid out gives its space to the next one: a frame
      // that is allocated again and again (a picture being edited) reuses it.
      if (frame - region.Start + size == region.Top) region.Top = frame - region.Start;
    }
  }
  if (unmap) munmap(reinterpret_cast<void*>(unmap), unmapSize);
  return true;
}

}  // namespace

void TFramePixelsFree::operator()(std::uint8_t* pixels) const {
  if (!pixels) return;
  if (kRegions && Size >= FrameRegionLeast && FreeInRegion(pixels, Size)) return;
  delete[] pixels;
}

TFramePixels AllocateFramePixels(std::size_t size) {
  std::uint8_t* pixels = nullptr;
  if (kRegions && size >= FrameRegionLeast) pixels = FromRegion(size);
  if (!pixels) pixels = FromHeap(size);
  return TFramePixels(pixels, TFramePixelsFree{size});
}

TFrameRegionStats FrameRegionStats() {
  TFrameRegionStats stats;
  if (!kRegions) return stats;
  TRegions& regions = Regions();
  std::lock_guard lock(regions.Lock);
  for (const TRegion& region : regions.List) {
    ++stats.Regions;
    stats.Frames += region.Frames;
    stats.Mapped += region.Size;
  }
  return stats;
}

bool FrameRegionsEnabled() {
  return kRegions;
}

}  // namespace velmora
