#include "strokes/StrokeDrawing.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>

#include "strokes/CairoLibrary.h"

namespace velmora {

namespace {

// A pen this wide (in box units) covers the widest strokes; the outline
// clips it to the stroke's own shape.
constexpr double PenWidth = 150;
// Pixels of all frames together (a quarter of a gigabyte).
constexpr std::int64_t MostAnimationPixels = std::int64_t(1) << 26;
// Levels of coverage an edge pixel keeps: 0, 1/3, 2/3 and full.
constexpr int Levels = 3;

struct TSurfaceCloser {
  void operator()(cairo_surface_t* s) const { Cairo().surface_destroy(s); }
};
struct TContextCloser {
  void operator()(cairo_t* c) const { Cairo().destroy(c); }
};

// A rectangle of pixels, right and bottom outside it.
struct TPixelBox {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// One 8-bit coverage mask of the frame, drawn in box units.
class TMask {
 public:
  explicit TMask(int size)
      : cairo_(Cairo()),
        surface_(cairo_.image_surface_create(CAIRO_FORMAT_A8, size, size)),
        cr_(cairo_.create(surface_.get())) {
    if (cairo_.status(cr_.get()) != CAIRO_STATUS_SUCCESS)
      throw EStrokeData("cannot draw strokes: cairo has no memory for the frame");
    // A small margin, so that strokes reaching the box's edge keep their ends.
    const double margin = size * 0.03;
    cairo_.translate(cr_.get(), margin, margin);
    const double scale = (size - 2 * margin) / StrokeBoxSize;
    cairo_.scale(cr_.get(), scale, scale);
    cairo_.set_source_rgba(cr_.get(), 0, 0, 0, 1);
  }

  void Clear() {
    cairo_.save(cr_.get());
    cairo_.set_operator(cr_.get(), CAIRO_OPERATOR_CLEAR);
    cairo_.paint(cr_.get());
    cairo_.restore(cr_.get());
  }

  void Fill(const TStroke& stroke) {
    Outline(stroke);
    cairo_.fill(cr_.get());
  }

  // The first part of the stroke's median, length units long, with a wide
  // round pen, inside the stroke's outline.
  void Reveal(const TStroke& stroke, double length) {
    cairo_t* cr = cr_.get();
    cairo_.save(cr);
    Outline(stroke);
    cairo_.clip(cr);
    const auto& m = stroke.Median;
    cairo_.move_to(cr, m[0].X, m[0].Y);
    double left = length;
    for (std::size_t i = 1; i < m.size() && left > 0; ++i) {
      const double dx = m[i].X - m[i - 1].X, dy = m[i].Y - m[i - 1].Y;
      const double d = std::hypot(dx, dy);
      const double f = d > left ? left / d : 1;
      cairo_.line_to(cr, m[i - 1].X + f * dx, m[i - 1].Y + f * dy);
      left -= d;
    }
    if (m.size() == 1) cairo_.line_to(cr, m[0].X, m[0].Y);
    cairo_.set_line_width(cr, PenWidth);
    cairo_.set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_.set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_.stroke(cr);
    cairo_.restore(cr);
  }

  // Coverage quantised to 0..Levels, row by row, within box (the whole
  // mask by default; out keeps what it held outside).
  void Quantise(std::vector<std::uint8_t>& out, TPixelBox box = {}) {
    cairo_.surface_flush(surface_.get());
    const int size = cairo_.image_surface_get_width(surface_.get());
    const int stride = cairo_.image_surface_get_stride(surface_.get());
    const unsigned char* data = cairo_.image_surface_get_data(surface_.get());
    out.resize(std::size_t(size) * std::size_t(size));
    if (box.Right == 0) box = {0, 0, size, size};
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = box.Left; x < box.Right; ++x)
        out[std::size_t(y) * std::size_t(size) + std::size_t(x)] =
            std::uint8_t((data[y * stride + x] * Levels + 127) / 255);
  }

  // The pixels the stroke's outline can touch: the box of its points (a
  // curve stays inside its control points), widened for the edges' coverage.
  TPixelBox Bounds(const TStroke& stroke, int size) const {
    const double margin = size * 0.03;
    const double scale = (size - 2 * margin) / StrokeBoxSize;
    double x0 = stroke.Start.X, x1 = x0, y0 = stroke.Start.Y, y1 = y0;
    for (const TStrokeSegment& s : stroke.Segments)
      for (int i = 0; i < s.PointCount(); ++i) {
        x0 = std::min(x0, double(s.Points[i].X));
        x1 = std::max(x1, double(s.Points[i].X));
        y0 = std::min(y0, double(s.Points[i].Y));
        y1 = std::max(y1, double(s.Points[i].Y));
      }
    auto pixel = [&](double v, int widen) {
      return std::clamp(int(std::floor(margin + v * scale)) + widen, 0, size);
    };
    return {pixel(x0, -2), pixel(y0, -2), pixel(x1, 3), pixel(y1, 3)};
  }

 private:
  void Outline(const TStroke& stroke) {
    cairo_t* cr = cr_.get();
    cairo_.new_path(cr);
    double x = stroke.Start.X, y = stroke.Start.Y;
    cairo_.move_to(cr, x, y);
    for (const TStrokeSegment& s : stroke.Segments) {
      const TStrokePoint* p = s.Points;
      switch (s.Kind) {
        case TStrokeSegmentKind::Line:
          cairo_.line_to(cr, p[0].X, p[0].Y);
          break;
        case TStrokeSegmentKind::Quadratic:
          // The cubic with the same curve: control points 2/3 of the way
          // from each end to the quadratic's control point.
          cairo_.curve_to(cr, x + 2.0 / 3 * (p[0].X - x), y + 2.0 / 3 * (p[0].Y - y),
                          p[1].X + 2.0 / 3 * (p[0].X - p[1].X),
                          p[1].Y + 2.0 / 3 * (p[0].Y - p[1].Y), p[1].X, p[1].Y);
          break;
        case TStrokeSegmentKind::Cubic:
          cairo_.curve_to(cr, p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y);
          break;
      }
      const TStrokePoint& end = p[s.PointCount() - 1];
      x = end.X;
      y = end.Y;
    }
    cairo_.close_path(cr);
  }

  const TCairo& cairo_;
  std::unique_ptr<cairo_surface_t, TSurfaceCloser> surface_;
  std::unique_ptr<cairo_t, TContextCloser> cr_;
};

TGIFRGB Mix(TGIFRGB under, TGIFRGB over, int level) {
  TGIFRGB result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int a = int(under >> shift & 0xff), b = int(over >> shift & 0xff);
    result |= TGIFRGB((a * (Levels - level) + b * level + Levels / 2) / Levels) << shift;
  }
  return result;
}

// Lays the faint character, the finished strokes and the stroke being
// written over the paper, each with its quantised coverage: a frame's pixel
// is the index (faint * 4 + done) * 4 + active into 64 colours.
class TComposer {
 public:
  TComposer() {
    for (int f = 0; f <= Levels; ++f)
      for (int d = 0; d <= Levels; ++d)
        for (int a = 0; a <= Levels; ++a)
          colors_.push_back(
              Mix(Mix(Mix(StrokePaper, StrokeFaint, f), StrokeInk, d), StrokeActive, a));
  }
  const std::vector<TGIFRGB>& Colors() const { return colors_; }
  void Compose(const std::vector<std::uint8_t>& faint,
               const std::vector<std::uint8_t>& done, std::uint8_t* frame) const {
    for (std::size_t i = 0; i < faint.size(); ++i)
      frame[i] = std::uint8_t((faint[i] * 4 + done[i]) * 4);
  }
  // The stroke being written over a frame of Compose, within its box.
  void AddActive(std::uint8_t* frame, int size, const std::vector<std::uint8_t>& active,
                 const TPixelBox& box) const {
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = box.Left; x < box.Right; ++x) {
        const std::size_t i = std::size_t(y) * std::size_t(size) + std::size_t(x);
        frame[i] = std::uint8_t(frame[i] | active[i]);
      }
  }

 private:
  std::vector<TGIFRGB> colors_;
};

TGIFRGBFrame ColorFrame(int size, std::span<const std::uint8_t> indices,
                        const std::vector<TGIFRGB>& colors) {
  TGIFRGBFrame frame{size, size, std::vector<TGIFRGB>(indices.size())};
  for (std::size_t i = 0; i < indices.size(); ++i) frame.Pixels[i] = colors[indices[i]];
  return frame;
}

double MedianLength(const TStroke& stroke) {
  double length = 0;
  for (std::size_t i = 1; i < stroke.Median.size(); ++i)
    length += std::hypot(stroke.Median[i].X - stroke.Median[i - 1].X,
                         stroke.Median[i].Y - stroke.Median[i - 1].Y);
  return length;
}

void CheckSize(int size) {
  if (size < 16 || size > 2048)
    throw EStrokeData("a stroke animation is 16 to 2048 pixels wide, not " +
                      std::to_string(size));
}

}  // namespace

int StrokeFrameCount(const TStroke& stroke, const TStrokeAnimationOptions& options) {
  const double perFrame = std::max(1, options.UnitsPerFrame);
  return std::clamp(int(std::ceil(MedianLength(stroke) / perFrame)), 2, 16);
}

namespace {

// Frames for the animation, in one block: fewer page faults than a block
// each, which cost more than drawing the strokes.
class TFrameBlock {
 public:
  TFrameBlock(TStrokeFrames& out, int size, std::int64_t count)
      : out_(out), n_(std::size_t(size) * std::size_t(size)) {
    out.Frames.Width = out.Frames.Height = size;
    out.Frames.Palette = TComposer().Colors();
    out.Storage = AllocateFramePixels(std::size_t(count) * n_);
    if (!out.Storage) throw EStrokeData("cannot draw strokes: no memory for the frames");
    next_ = out.Storage.get();
  }
  std::uint8_t* Add(int delayMs, int done) {
    std::uint8_t* frame = next_;
    next_ += n_;
    out_.Frames.Frames.emplace_back(frame, n_);
    out_.Frames.DelayMs.push_back(delayMs);
    out_.Stroke.push_back(done);
    return frame;
  }

 private:
  TStrokeFrames& out_;
  const std::size_t n_;
  std::uint8_t* next_;
};

}  // namespace

TStrokeFrames DrawStrokeIndexedFrames(const TCharacterStrokes& character,
                                      const TStrokeAnimationOptions& options) {
  const int size = options.Size;
  CheckSize(size);
  // Every frame is kept whole until the writer has them all: a large size
  // times many strokes would take gigabytes.
  std::int64_t frameCount = 1;
  for (const TStroke& stroke : character.Strokes)
    frameCount += StrokeFrameCount(stroke, options);
  if (frameCount * size * size > MostAnimationPixels)
    throw EStrokeData("a " + std::to_string(size) + " pixel animation of " +
                      std::to_string(frameCount) +
                      " frames is too large; choose a smaller size");
  TMask faintMask(size), doneMask(size), activeMask(size);
  for (const TStroke& stroke : character.Strokes) faintMask.Fill(stroke);
  const std::size_t n = std::size_t(size) * std::size_t(size);
  std::vector<std::uint8_t> faint, done, active(n), under(n);
  faintMask.Quantise(faint);
  doneMask.Quantise(done);
  const TComposer composer;
  TStrokeFrames out;
  TFrameBlock block(out, size, frameCount);
  const int strokes = int(character.Strokes.size());
  for (int s = 0; s < strokes; ++s) {
    const TStroke& stroke = character.Strokes[std::size_t(s)];
    const int count = StrokeFrameCount(stroke, options);
    const double length = MedianLength(stroke);
    // Only the stroke's own pixels change while it is written.
    const TPixelBox box = activeMask.Bounds(stroke, size);
    composer.Compose(faint, done, under.data());
    for (int k = 1; k <= count; ++k) {
      activeMask.Clear();
      activeMask.Reveal(stroke, length * k / count);
      activeMask.Quantise(active, box);
      std::uint8_t* frame = block.Add(options.DelayMs, s);
      std::copy(under.begin(), under.end(), frame);
      composer.AddActive(frame, size, active, box);
    }
    doneMask.Fill(stroke);
    doneMask.Quantise(done);
  }
  composer.Compose(faint, done, block.Add(options.HoldMs, strokes));
  return out;
}

std::vector<TGIFRGBFrame> DrawStrokeFrames(const TCharacterStrokes& character,
                                           const TStrokeAnimationOptions& options) {
  const TStrokeFrames drawn = DrawStrokeIndexedFrames(character, options);
  std::vector<TGIFRGBFrame> frames;
  for (const std::span<const std::uint8_t> f : drawn.Frames.Frames)
    frames.push_back(ColorFrame(options.Size, f, drawn.Frames.Palette));
  return frames;
}

namespace {

TStrokeFrames DrawCharacterIndexed(const TCharacterStrokes& character, int size,
                                   std::size_t done) {
  CheckSize(size);
  TMask faintMask(size), doneMask(size);
  for (std::size_t s = 0; s < character.Strokes.size(); ++s) {
    faintMask.Fill(character.Strokes[s]);
    if (s < done) doneMask.Fill(character.Strokes[s]);
  }
  std::vector<std::uint8_t> faint, ink;
  faintMask.Quantise(faint);
  doneMask.Quantise(ink);
  TStrokeFrames still;
  TFrameBlock block(still, size, 1);
  TComposer().Compose(faint, ink, block.Add(-1, int(done)));
  return still;
}

}  // namespace

TGIFRGBFrame DrawCharacter(const TCharacterStrokes& character, int size) {
  const TStrokeFrames still =
      DrawCharacterIndexed(character, size, character.Strokes.size());
  return ColorFrame(size, still.Frames.Frames[0], still.Frames.Palette);
}

std::vector<int> StrokeGIF(TGIFImage& image, const TCharacterStrokes& character,
                           const TStrokeAnimationOptions& options) {
  TGIFFramesOptions gif;
  gif.DelayMs = options.DelayMs;
  gif.Loops = 0;
  gif.Dither = false;
  // The frames are small and many; the search of the best row split
  // would double the time for a few bytes.
  gif.SplitSearch = false;
  gif.RestoreFrames = false;
  TStrokeFrames drawn = DrawStrokeIndexedFrames(character, options);
  // Beginning with a later stroke is the same loop entered later on.
  const int strokes = int(character.Strokes.size());
  if (options.FirstStroke > 0 && options.FirstStroke < strokes) {
    const auto begin =
        std::find(drawn.Stroke.begin(), drawn.Stroke.end(), options.FirstStroke) -
        drawn.Stroke.begin();
    std::rotate(drawn.Frames.Frames.begin(), drawn.Frames.Frames.begin() + begin,
                drawn.Frames.Frames.end());
    std::rotate(drawn.Frames.DelayMs.begin(), drawn.Frames.DelayMs.begin() + begin,
                drawn.Frames.DelayMs.end());
    std::rotate(drawn.Stroke.begin(), drawn.Stroke.begin() + begin, drawn.Stroke.end());
  }
  std::vector<int> written;
  for (std::size_t first : GIFFromIndexedFrames(image, drawn.Frames, gif))
    written.push_back(drawn.Stroke[first]);
  return written;
}

void StrokeStill(TGIFImage& image, const TCharacterStrokes& character, int size,
                 std::size_t done) {
  GIFFromIndexedFrames(image, DrawCharacterIndexed(character, size, done).Frames,
                       TGIFFramesOptions{});
}

}  // namespace velmora
