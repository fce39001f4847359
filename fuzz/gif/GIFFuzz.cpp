// Feeds arbitrary bytes to TGIFImage::LoadFromStream. Damaged input must
// either load or raise GIFException; anything else is a fault.
//
// The mutator knows the block structure: besides libFuzzer's byte-level
// mutations it cuts a frame's data into sub-blocks of other lengths, bends
// single length bytes, mutates the LZW data of one frame in place, and
// moves, copies and drops blocks; the cross-over splices frames and
// extensions of two inputs. Run with -max_len=65536 or more.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

#include "fuzz/gif/GIFBlocks.h"
#include "gif/GIFImage.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size,
                                        std::size_t maxSize);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  // Keeps each input quick; the limit itself is what is being exercised.
  GIFImageMaxPixelMemory = 16 << 20;
  TGIFImage image;
  int warnings = 0;
  image.OnWarning = [&warnings](void*, TGIFSeverity, const std::string&) { ++warnings; };
  TReadOnlyMemoryStream stream(data, size);
  try {
    image.LoadFromStream(stream);
  } catch (const GIFException&) {
  }
  // Touch what the rendering side reads.
  for (int i = 0; i < image.Images->GetCount(); ++i) {
    TGIFSubImage* frame = image.Images->GetImage(i);
    if (!frame->GetEmpty()) {
      volatile std::uint8_t last = frame->Data[std::size_t(frame->DataSize - 1)];
      (void)last;
    }
  }
  return 0;
}

namespace {

using velmora::gifblocks::Block;
using velmora::gifblocks::Bytes;
using velmora::gifblocks::Gif;

std::size_t Emit(const Gif& gif, std::uint8_t* data, std::size_t maxSize) {
  const Bytes out = velmora::gifblocks::Join(gif);
  if (out.empty() || out.size() > maxSize) return 0;
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

// Changes one block; false when there was nothing to change.
bool MutateBlock(Gif& gif, std::mt19937& rng, std::size_t maxSize) {
  if (gif.blocks.empty()) return false;
  // Mostly frames: their data is where the sub-block layout matters.
  std::vector<std::size_t> images;
  for (std::size_t i = 0; i < gif.blocks.size(); ++i)
    if (gif.blocks[i].IsImage()) images.push_back(i);
  const std::size_t pick = !images.empty() && rng() % 4 != 0
                               ? images[rng() % images.size()]
                               : rng() % gif.blocks.size();
  Block& block = gif.blocks[pick];
  switch (rng() % 6) {
    case 0:
    case 1:  // the same data in another layout
      velmora::gifblocks::RecutOdd(block, rng);
      return !block.data.empty();
    case 2: {  // one sub-block a little longer or shorter, the data with it
      if (block.lengths.empty()) return false;
      int& len = block.lengths[rng() % block.lengths.size()];
      const int delta = int(rng() % 5) - 2;
      len = std::clamp(len + (delta == 0 ? 1 : delta), 1, 255);
      std::size_t sum = 0;
      for (int l : block.lengths) sum += std::size_t(l);
      block.data.resize(sum, std::uint8_t(rng()));
      return true;
    }
    case 3: {  // the LZW bytes of this block mutated, layout kept where it fits
      if (block.data.empty()) return false;
      Bytes d = block.data;
      const std::size_t room = std::min<std::size_t>(maxSize, d.size() * 2 + 64);
      d.resize(room);
      d.resize(LLVMFuzzerMutate(d.data(), block.data.size(), room));
      block.data = std::move(d);
      const std::vector<int> old = block.lengths;
      std::size_t i = 0;
      velmora::gifblocks::Recut(block, [&] { return i < old.size() ? old[i++] : 255; });
      return true;
    }
    case 4:  // the terminator dropped or restored
      block.terminated = !block.terminated;
      return true;
    default: {  // the head (descriptor, table, code size, label) mutated
      Bytes h = block.head;
      const std::size_t n = h.size();
      h.resize(n + 8);
      h.resize(LLVMFuzzerMutate(h.data(), n, n));
      if (h.size() != n) return false;
      h[0] = block.head[0];
      block.head = std::move(h);
      return true;
    }
  }
}

// Reorders, copies or drops whole blocks.
bool ShuffleBlocks(Gif& gif, std::mt19937& rng) {
  auto& b = gif.blocks;
  if (b.empty()) return false;
  const std::size_t i = rng() % b.size(), j = rng() % b.size();
  switch (rng() % 3) {
    case 0:
      b.insert(b.begin() + long(j), Block(b[i]));
      return true;
    case 1:
      if (b.size() < 2) return false;
      b.erase(b.begin() + long(i));
      return true;
    default:
      std::swap(b[i], b[j]);
      return i != j;
  }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
  std::mt19937 rng(seed);
  if (rng() % 3 != 0) {
    std::optional<Gif> gif = velmora::gifblocks::Split(data, size);
    if (gif) {
      const bool changed =
          rng() % 4 == 0 ? ShuffleBlocks(*gif, rng) : MutateBlock(*gif, rng, maxSize);
      if (changed) {
        const std::size_t n = Emit(*gif, data, maxSize);
        if (n > 0) return n;
      }
    }
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}

// Frames and extensions of both inputs, spliced after the first's header.
extern "C" std::size_t LLVMFuzzerCustomCrossOver(
    const std::uint8_t* data1, std::size_t size1, const std::uint8_t* data2,
    std::size_t size2, std::uint8_t* out, std::size_t maxOutSize, unsigned int seed) {
  std::mt19937 rng(seed);
  std::optional<Gif> a = velmora::gifblocks::Split(data1, size1);
  std::optional<Gif> b = velmora::gifblocks::Split(data2, size2);
  if (a && b && !b->blocks.empty()) {
    const std::size_t from = rng() % b->blocks.size();
    const std::size_t count = 1 + rng() % (b->blocks.size() - from);
    const std::size_t at = a->blocks.empty() ? 0 : rng() % (a->blocks.size() + 1);
    if (rng() % 2 && at < a->blocks.size()) {
      // Replace rather than insert: keeps the frame count steady.
      a->blocks.erase(a->blocks.begin() + long(at),
                      a->blocks.begin() + long(std::min(a->blocks.size(), at + count)));
    }
    a->blocks.insert(a->blocks.begin() + long(at), b->blocks.begin() + long(from),
                     b->blocks.begin() + long(from + count));
    const std::size_t n = Emit(*a, out, maxOutSize);
    if (n > 0) return n;
  }
  // Unstructured inputs: the head of one and the rest of the other.
  const std::size_t cut1 = size1 ? rng() % (size1 + 1) : 0;
  const std::size_t cut2 = size2 ? rng() % (size2 + 1) : 0;
  const std::size_t n1 = std::min(cut1, maxOutSize);
  const std::size_t n2 = std::min(size2 - cut2, maxOutSize - n1);
  if (n1) std::memcpy(out, data1, n1);
  if (n2) std::memcpy(out + n1, data2 + cut2, n2);
  return n1 + n2;
}
