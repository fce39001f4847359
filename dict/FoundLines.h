// The lines of a file image in which a finder finds something, walked by one
// search over the whole image rather than line by line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace velmora {

// TFinder offers Find(text, from): the first place in [from, text.size())
// where something it looks for begins, or npos; and MaxSize(): how far a
// find may reach from its place at most (0 when it looks for nothing).
//
// A line is the bytes before a line feed (a CR before it stays; the last
// line needs none), cut at its first NUL. What a line holds is for the
// caller to test: a find may stand after the NUL, across a character or,
// for a needle with a line feed, across lines (it belongs to the line in
// which it starts, its line feed included). Each line comes once, however
// many finds it holds. Lines are views into the image; nothing is copied.
template <class TFinder>
class TFoundLines {
 public:
  enum class TStep { Line, Slice, End };

  // sliceBytes bounds the bytes searched by one call of Next, so that the
  // caller gets control back regularly on long stretches without a find.
  TFoundLines(std::string_view image, const TFinder& finder, std::size_t sliceBytes)
      : image_(image), finder_(finder), slice_(std::max<std::size_t>(sliceBytes, 1)) {}

  // Line: line holds the next line with a find. Slice: a stretch without
  // one was passed. End: the image is done.
  TStep Next(std::string_view& line);

 private:
  std::string_view image_;
  const TFinder& finder_;
  std::size_t slice_;
  std::size_t lineFloor_ = 0;  // the start of the line that holds cursor_
  std::size_t cursor_ = 0;     // nothing is found before this
};

template <class TFinder>
typename TFoundLines<TFinder>::TStep TFoundLines<TFinder>::Next(std::string_view& line) {
  const std::size_t size = image_.size();
  if (cursor_ >= size) return TStep::End;
  const char* const data = image_.data();
  // Finds that start within the slice; they may reach past it.
  const std::size_t sliceEnd = std::min(size, cursor_ + slice_);
  const std::size_t window =
      std::min(size, sliceEnd + std::max<std::size_t>(finder_.MaxSize(), 1) - 1);
  const std::size_t at = finder_.Find(image_.substr(0, window), cursor_);
  if (at == std::string_view::npos || at >= sliceEnd) {
    // lineFloor_ stays: the line start is looked for backwards from a find,
    // which stops at the nearest line feed.
    cursor_ = sliceEnd;
    return cursor_ >= size ? TStep::End : TStep::Slice;
  }
  std::size_t start = lineFloor_;
  if (const void* lf = ::memrchr(data + lineFloor_, '\n', at - lineFloor_))
    start = std::size_t(static_cast<const char*>(lf) - data) + 1;
  const void* lf = std::memchr(data + at, '\n', size - at);
  const std::size_t end = lf ? std::size_t(static_cast<const char*>(lf) - data) : size;
  line = image_.substr(start, end - start);
  if (const void* nul = std::memchr(line.data(), '\0', line.size()))
    line = line.substr(0, std::size_t(static_cast<const char*>(nul) - line.data()));
  cursor_ = lineFloor_ = std::min(size, end + 1);
  return TStep::Line;
}

}  // namespace velmora
