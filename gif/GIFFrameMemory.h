// Memory for the pixel indices of frames. Small frames come from the heap.
// Large ones are laid one after another in shared regions that the kernel
// may back with 2 MiB pages: a screen recording of thirty large frames then
// costs a few dozen page faults and memory-cgroup charges instead of some
// thousands, and its frames are unmapped a region at a time. Where the kernel
// has no large pages, or refuses the mapping, the regions use ordinary pages
// or the frame comes from the heap; nothing is reported.
//
// Under AddressSanitizer every frame comes from the heap, so that reads and
// writes past a frame's end are still caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmora {

// Frees a frame's pixels the way they were allocated; knows their size.
struct TFramePixelsFree {
  std::size_t Size = 0;
  void operator()(std::uint8_t* pixels) const;
};

using TFramePixels = std::unique_ptr<std::uint8_t[], TFramePixelsFree>;

// Frames of at least this many bytes are laid in the shared regions.
constexpr std::size_t FrameRegionLeast = 256 * 1024;

// size bytes, not initialised (large frames are already backed by memory,
// so that the decoder's writes do not fault page by page). Empty when memory
// runs out. size must not be 0.
TFramePixels AllocateFramePixels(std::size_t size);

// What the shared regions hold, for tests and measurements.
struct TFrameRegionStats {
  std::size_t Regions = 0;  // mapped regions
  std::size_t Frames = 0;   // frames alive in them
  std::size_t Mapped = 0;   // bytes of address space they take
};
TFrameRegionStats FrameRegionStats();

// False when this build lays every frame on the heap (AddressSanitizer).
bool FrameRegionsEnabled();

}  // namespace velmora
