#include "strokes/StrokeDrawing.h"

#include <algorithm>
#include <cmath>
#include <memory>

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

  // Coverage quantised to 0..Levels, row by row.
  void Quantise(std::vector<std::uint8_t>& out) {
    cairo_.surface_flush(surface_.get());
    const int size = cairo_.image_surface_get_width(surface_.get());
    const int stride = cairo_.image_surface_get_stride(surface_.get());
    const unsigned char* data = cairo_.image_surface_get_data(surface_.get());
    out.resize(std::size_t(size) * std::size_t(size));
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        out[std::size_t(y) * std::size_t(size) + std::size_t(x)] =
            std::uint8_t((data[y * stride + x] * Levels + 127) / 255);
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
// written over the paper, each with its quantised coverage.
class TComposer {
 public:
  TComposer() {
    for (int f = 0; f <= Levels; ++f)
      for (int d = 0; d <= Levels; ++d)
        for (int a = 0; a <= Levels; ++a)
          colors_[(f * 4 + d) * 4 + a] =
              Mix(Mix(Mix(StrokePaper, StrokeFaint, f), StrokeInk, d), StrokeActive, a);
  }
  TGIFRGBFrame Compose(int size, const std::vector<std::uint8_t>& faint,
                       const std::vector<std::uint8_t>& done,
                       const std::vector<std::uint8_t>* active) const {
    TGIFRGBFrame frame{size, size, std::vector<TGIFRGB>(faint.size())};
    for (std::size_t i = 0; i < faint.size(); ++i)
      frame.Pixels[i] =
          colors_[(faint[i] * 4 + done[i]) * 4 + (active ? (*active)[i] : 0)];
    return frame;
  }

 private:
  TGIFRGB colors_[64];
};

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

std::vector<TGIFRGBFrame> DrawStrokeFrames(const TCharacterStrokes& character,
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
  std::vector<std::uint8_t> faint, done, active;
  faintMask.Quantise(faint);
  doneMask.Quantise(done);
  const TComposer composer;
  std::vector<TGIFRGBFrame> frames;
  for (const TStroke& stroke : character.Strokes) {
    const int count = StrokeFrameCount(stroke, options);
    const double length = MedianLength(stroke);
    for (int k = 1; k <= count; ++k) {
      activeMask.Clear();
      activeMask.Reveal(stroke, length * k / count);
      activeMask.Quantise(active);
      frames.push_back(composer.Compose(size, faint, done, &active));
    }
    doneMask.Fill(stroke);
    doneMask.Quantise(done);
  }
  frames.push_back(composer.Compose(size, faint, done, nullptr));
  return frames;
}

TGIFRGBFrame DrawCharacter(const TCharacterStrokes& character, int size) {
  CheckSize(size);
  TMask mask(size);
  for (const TStroke& stroke : character.Strokes) mask.Fill(stroke);
  std::vector<std::uint8_t> levels;
  mask.Quantise(levels);
  return TComposer().Compose(size, levels, levels, nullptr);
}

void StrokeGIF(TGIFImage& image, const TCharacterStrokes& character,
               const TStrokeAnimationOptions& options) {
  TGIFFramesOptions gif;
  gif.DelayMs = options.DelayMs;
  gif.Loops = 0;
  gif.Dither = false;
  // The frames are small and many; the search of the best row split
  // would double the time for a few bytes.
  gif.SplitSearch = false;
  gif.RestoreFrames = false;
  std::vector<TGIFRGBFrame> frames = DrawStrokeFrames(character, options);
  frames.back().DelayMs = options.HoldMs;
  GIFFromFrames(image, frames, gif);
}

}  // namespace velmora
