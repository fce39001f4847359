// The stroke-order drawing on synthetic strokes whose pixels are known, and
// the animation through our GIF writer and reader.
#include <gtest/gtest.h>

#include <set>

#include "gif/GIFExtensions.h"
#include "strokes/CairoLibrary.h"
#include "strokes/StrokeDrawing.h"
#include "tests/gif/ComposedFrames.h"

namespace velmora {
namespace {

constexpr int Size = 256;

// A square stroke between two x positions, written left to right along its
// middle.
TStroke Square(int left, int right) {
  TStroke s;
  s.Start = {left, 300};
  s.Segments = {
      {TStrokeSegmentKind::Line, {{right, 300}}},
      {TStrokeSegmentKind::Quadratic, {{right, 500}, {right, 700}}},
      {TStrokeSegmentKind::Cubic, {{right - 100, 700}, {left + 100, 700}, {left, 700}}}};
  s.Median = {{left + 20, 500}, {right - 20, 500}};
  return s;
}

TCharacterStrokes TwoSquares() {
  return {U'口', {Square(100, 400), Square(600, 900)}};
}

// The pixel at a point of the box (the drawing keeps a 3 % margin).
TGIFRGB At(const TGIFRGBFrame& f, int x, int y) {
  const double margin = Size * 0.03, scale = (Size - 2 * margin) / StrokeBoxSize;
  const int px = int(margin + x * scale), py = int(margin + y * scale);
  return f.Pixels[std::size_t(py) * std::size_t(f.Width) + std::size_t(px)];
}

TEST(StrokeDrawing, SquaresAreWrittenInOrderInsideTheirOutlines) {
  const TCharacterStrokes character = TwoSquares();
  const TStrokeAnimationOptions options;
  const int first = StrokeFrameCount(character.Strokes[0], options);
  const int second = StrokeFrameCount(character.Strokes[1], options);
  EXPECT_GE(first, 2);
  const auto frames = DrawStrokeFrames(character, options);
  ASSERT_EQ(frames.size(), std::size_t(first + second + 1));

  const std::vector<std::pair<int, int>> insideFirst = {
      {150, 350}, {250, 500}, {380, 680}};
  const std::vector<std::pair<int, int>> insideSecond = {
      {650, 350}, {750, 500}, {880, 680}};
  const std::vector<std::pair<int, int>> outside = {
      {20, 20}, {500, 500}, {250, 200}, {750, 800}, {980, 500}};
  for (std::size_t t = 0; t < frames.size(); ++t) {
    const TGIFRGBFrame& f = frames[t];
    ASSERT_EQ(f.Width, Size);
    for (auto [x, y] : outside) EXPECT_EQ(At(f, x, y), StrokePaper) << t;
    const bool firstDone = t >= std::size_t(first);
    const bool secondDone = t >= std::size_t(first + second);
    for (auto [x, y] : insideFirst) {
      const TGIFRGB c = At(f, x, y);
      if (firstDone)
        EXPECT_EQ(c, StrokeInk) << t;
      else
        EXPECT_TRUE(c == StrokeFaint || c == StrokeActive) << t;
    }
    for (auto [x, y] : insideSecond) {
      const TGIFRGB c = At(f, x, y);
      if (secondDone)
        EXPECT_EQ(c, StrokeInk) << t;
      else if (!firstDone)
        EXPECT_EQ(c, StrokeFaint) << t;  // not begun before the first is done
      else
        EXPECT_TRUE(c == StrokeFaint || c == StrokeActive) << t;
    }
  }
  // The stroke grows from its start: the left end is red from the first
  // frame, the right end only at the last of the stroke's frames.
  EXPECT_EQ(At(frames[0], 150, 500), StrokeActive);
  EXPECT_EQ(At(frames[0], 380, 500), StrokeFaint);
  EXPECT_EQ(At(frames[std::size_t(first - 1)], 380, 500), StrokeActive);
  EXPECT_EQ(At(frames[std::size_t(first)], 650, 500), StrokeActive);

  // Edges keep a few levels: the whole animation has a small palette.
  std::set<TGIFRGB> colours;
  for (const auto& f : frames) colours.insert(f.Pixels.begin(), f.Pixels.end());
  EXPECT_GT(colours.size(), 4u);  // antialiased
  EXPECT_LE(colours.size(), 64u);

  // The last frame is the character drawn at once.
  EXPECT_EQ(frames.back().Pixels, DrawCharacter(character, Size).Pixels);
}

TEST(StrokeDrawing, SizesOutOfReasonAreRefused) {
  TStrokeAnimationOptions options;
  options.Size = 8;
  EXPECT_THROW(DrawStrokeFrames(TwoSquares(), options), EStrokeData);
  EXPECT_THROW(DrawCharacter(TwoSquares(), 100000), EStrokeData);
  // Many long strokes at the largest size would need gigabytes of frames.
  TCharacterStrokes many = TwoSquares();
  for (int i = 0; i < 30; ++i) many.Strokes.push_back(Square(100, 900));
  options.Size = 2048;
  EXPECT_THROW(DrawStrokeFrames(many, options), EStrokeData);
  EXPECT_NO_THROW(DrawCharacter(many, 2048));
}

TEST(StrokeAnimation, RoundTripsThroughOurReaderLoopingForever) {
  const TCharacterStrokes character = TwoSquares();
  TStrokeAnimationOptions options;
  options.DelayMs = 70;
  options.HoldMs = 1500;
  TGIFImage image;
  StrokeGIF(image, character, options);
  const auto read = test::SavedAndLoaded(image);
  TGIFImage& back = *read;

  const auto frames = DrawStrokeFrames(character, options);
  ASSERT_EQ(back.Images->GetCount(), int(frames.size()));
  EXPECT_EQ(back.GetWidth(), Size);
  EXPECT_EQ(back.GetHeight(), Size);
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(
      back.Images->GetImage(0)->Extensions->GetExtension(0));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Loops, 0);
  for (int i = 0; i < back.Images->GetCount(); ++i) {
    const TGIFGraphicControlExtension* gce =
        back.Images->GetImage(i)->GraphicControlExtension;
    ASSERT_TRUE(gce) << i;
    EXPECT_EQ(gce->GetDelay(), i + 1 == back.Images->GetCount() ? 150 : 7) << i;
  }
  // Each frame after the first holds only what changed.
  EXPECT_LT(back.Images->GetImage(1)->GetWidth() * back.Images->GetImage(1)->GetHeight(),
            Size * Size / 2);

  const auto states = test::Compose(back);
  for (std::size_t i = 0; i < frames.size(); ++i)
    EXPECT_EQ(states[i], frames[i].Pixels) << i;
  EXPECT_EQ(states.back(), DrawCharacter(character, Size).Pixels);
}

// Entered at a later stroke, the animation is the same loop: its frames
// are those drawn, from the first of that stroke on, and each says how
// many strokes it shows finished. A still shows the first strokes in ink.
TEST(StrokeAnimation, EnteredAtALaterStrokeItIsTheSameLoop) {
  TCharacterStrokes character = TwoSquares();
  character.Strokes.push_back(Square(300, 700));
  TStrokeAnimationOptions options;
  const auto frames = DrawStrokeFrames(character, options);
  const int first = StrokeFrameCount(character.Strokes[0], options);
  const int second = StrokeFrameCount(character.Strokes[1], options);
  for (int entry : {0, 1, 2}) {
    options.FirstStroke = entry;
    TGIFImage image;
    const std::vector<int> done = StrokeGIF(image, character, options);
    const auto states = test::Compose(*test::SavedAndLoaded(image), 2);
    ASSERT_EQ(done.size(), frames.size()) << entry;
    const std::size_t begin = entry == 0 ? 0 : entry == 1 ? first : first + second;
    for (std::size_t i = 0; i < states.size(); ++i) {
      const std::size_t drawn = (begin + i) % frames.size();
      ASSERT_EQ(states[i], frames[drawn].Pixels) << entry << " " << i;
      const int expected = drawn < std::size_t(first)            ? 0
                           : drawn < std::size_t(first + second) ? 1
                           : drawn + 1 < frames.size()           ? 2
                                                                 : 3;
      EXPECT_EQ(done[i % done.size()], expected) << entry << " " << i;
    }
  }
  TGIFImage still;
  StrokeStill(still, character, Size, 3);
  ASSERT_EQ(still.Images->GetCount(), 1);
  EXPECT_EQ(test::Compose(still)[0], frames.back().Pixels);
  StrokeStill(still, character, Size, 0);
  EXPECT_EQ(At(TGIFRGBFrame{Size, Size, test::Compose(still)[0]}, 250, 500), StrokeFaint);
}

// cairo is loaded when the first frame is drawn; a system without it, or
// with a library lacking one of the functions, is told why and keeps no
// half-filled table.
TEST(StrokeDrawing, CairoThatCannotBeLoadedIsReportedNotUsed) {
  TCairo table;
  std::string error;
  EXPECT_FALSE(LoadCairo("libvelmora-no-such-cairo.so.2", table, error));
  EXPECT_NE(error.find("libvelmora-no-such-cairo.so.2"), std::string::npos) << error;
  EXPECT_EQ(table.create, nullptr);

  // A library that exists but is not cairo: the first missing function is
  // named, and nothing found before it is kept.
  error.clear();
  EXPECT_FALSE(LoadCairo("libm.so.6", table, error));
  EXPECT_NE(error.find("cairo_clip"), std::string::npos) << error;
  EXPECT_EQ(table.clip, nullptr);

  ASSERT_TRUE(LoadCairo(CairoSoname, table, error)) << error;
  EXPECT_EQ(table.image_surface_create, Cairo().image_surface_create);
}

}  // namespace
}  // namespace velmora
