// Handwriting lookup: the stroke alignment on strokes drawn by hand here,
// the recognizer on drawings made from the bundled stroke data, drawings it
// must refuse, and stroke data with a damaged record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "hand/Recognizer.h"
#include "strokes/StrokeData.h"
#include "tests/strokes/StrokeRecord.h"

namespace velmora {
namespace {

const std::string BundledPath = std::string(VELMORA_DATA_DIR) + "/strokes.bin";

// A stroke through the given corners, with a point every pixel or so as a
// pad gives them.
THandStroke Line(std::initializer_list<THandPoint> corners) {
  THandStroke out;
  const std::vector<THandPoint> c(corners);
  out.push_back(c[0]);
  for (std::size_t i = 1; i < c.size(); ++i) {
    const double length = std::hypot(c[i].X - c[i - 1].X, c[i].Y - c[i - 1].Y);
    const int steps = std::max(1, int(length));
    for (int k = 1; k <= steps; ++k) {
      const double t = double(k) / steps;
      out.push_back({c[i - 1].X + t * (c[i].X - c[i - 1].X),
                     c[i - 1].Y + t * (c[i].Y - c[i - 1].Y)});
    }
  }
  return out;
}

// 工, written top, middle, bottom.
const THandStroke Top = Line({{20, 20}, {80, 20}});
const THandStroke Upright = Line({{50, 20}, {50, 80}});
const THandStroke Bottom = Line({{10, 80}, {90, 80}});
const THandDrawing Gong = {Top, Upright, Bottom};

TEST(HandAlignment, StrokesPairWhateverTheOrderAndWhereTheyAreJoinedOrSplit) {
  const struct {
    const char* what;
    THandDrawing drawing;
    THandAlignment expected;  // its Distance the most it may be
  } cases[] = {
      {"as written", Gong, {.Distance = 0.001, .Singles = 3}},
      // Still stroke for stroke, and as close.
      {"bottom first", {Bottom, Top, Upright}, {.Distance = 0.001, .Singles = 3}},
      {"pen lifted halfway down the upright",
       {Top, Line({{50, 20}, {50, 48}}), Line({{50, 52}, {50, 80}}), Bottom},
       {.Distance = 0.05, .Singles = 2, .Split = 1}},
      // The upright and the bottom in one go, back along the bottom to its start.
      {"joined",
       {Top, Line({{50, 20}, {50, 80}, {10, 80}, {90, 80}})},
       {.Distance = 0.1, .Singles = 1, .Joined = 1}},
      // A stroke forgotten, or one too many: the rest still pairs.
      {"missing", {Top, Upright}, {.Distance = 1, .Singles = 2, .StrokesLeft = 1}},
      {"extra",
       {Top, Upright, Bottom, Line({{80, 40}, {85, 45}})},
       {.Distance = 1, .Singles = 3, .DrawnLeft = 1}},
  };
  std::vector<double> distances;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const THandAlignment a = AlignHandStrokes(c.drawing, Gong);
    EXPECT_EQ(a.Singles, c.expected.Singles);
    EXPECT_EQ(a.Joined, c.expected.Joined);
    EXPECT_EQ(a.Split, c.expected.Split);
    EXPECT_EQ(a.DrawnLeft, c.expected.DrawnLeft);
    EXPECT_EQ(a.StrokesLeft, c.expected.StrokesLeft);
    EXPECT_LT(a.Distance, c.expected.Distance);
    distances.push_back(a.Distance);
  }
  // A forgotten stroke has a price that a whole drawing does not pay.
  EXPECT_GT(distances[4], distances[0] + 0.05);
  // A stroke written the other way is not the same stroke: 工 with its
  // strokes' directions reversed costs more than any of the above but the
  // forgotten stroke.
  const THandAlignment backwards =
      AlignHandStrokes({Line({{80, 20}, {20, 20}}), Line({{50, 80}, {50, 20}}),
                        Line({{90, 80}, {10, 80}})},
                       Gong);
  EXPECT_GT(backwards.Distance, distances[3]);
}

struct TRecognizerFixture : ::testing::Test {
  static void SetUpTestSuite() {
    data = new TStrokeData(TStrokeData::Open(BundledPath));
    recognizer = new THandRecognizer(*data);
  }
  static void TearDownTestSuite() {
    delete recognizer;
    delete data;
  }

  // The character's medians on a 300 pixel pad, shifted and skewed a
  // little, with a point every few pixels.
  static THandDrawing Drawing(char32_t c, double shear = 0) {
    THandDrawing drawing;
    const TCharacterStrokes strokes = *data->Find(c);
    for (const TStroke& stroke : strokes.Strokes) {
      THandStroke line;
      for (std::size_t i = 0; i < stroke.Median.size(); ++i) {
        const double x = stroke.Median[i].X * 300.0 / 1024,
                     y = stroke.Median[i].Y * 300.0 / 1024;
        line.push_back({std::round(40 + x + shear * (y - 150)), std::round(25 + y)});
      }
      drawing.push_back(line);
    }
    return drawing;
  }
  static std::vector<char32_t> Candidates(const THandDrawing& drawing) {
    std::vector<char32_t> out;
    for (const THandCandidate& c : recognizer->Recognize(drawing))
      out.push_back(c.CodePoint);
    return out;
  }
  static std::string Name(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", unsigned(c));
    return text;
  }

  static TStrokeData* data;
  static THandRecognizer* recognizer;
};
TStrokeData* TRecognizerFixture::data = nullptr;
THandRecognizer* TRecognizerFixture::recognizer = nullptr;

TEST_F(TRecognizerFixture, FindsCharactersDrawnFromTheDataAlsoOutOfOrderAndJoined) {
  EXPECT_EQ(recognizer->Count(), data->Count());
  const std::u32string characters =
      U"一二三人大中国学生的是不了在有我他这个们来到时说木林森口日目";
  const std::u32string traditional = U"學國車馬門龍鳥書語錢";
  for (const char32_t c : characters + traditional) {
    const THandDrawing drawing = Drawing(c, 0.1);
    const std::vector<THandCandidate> found = recognizer->Recognize(drawing);
    ASSERT_EQ(found.size(), 10u) << Name(c);
    EXPECT_EQ(found[0].CodePoint, c) << Name(c);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(),
                               [](const THandCandidate& a, const THandCandidate& b) {
                                 return a.Distance < b.Distance;
                               }));
    if (drawing.size() < 2) continue;
    // The first stroke written last; the first two in one.
    THandDrawing swapped = drawing;
    std::rotate(swapped.begin(), swapped.begin() + 1, swapped.end());
    const std::vector<char32_t> s = Candidates(swapped);
    EXPECT_NE(std::find(s.begin(), s.end(), c), s.end()) << Name(c) << " swapped";
    THandDrawing joined = drawing;
    joined[0].insert(joined[0].end(), joined[1].begin(), joined[1].end());
    joined.erase(joined.begin() + 1);
    const std::vector<char32_t> j = Candidates(joined);
    EXPECT_NE(std::find(j.begin(), j.end(), c), j.end()) << Name(c) << " joined";
  }
}

TEST_F(TRecognizerFixture, AnyBoxAndAnyNumberOfPointsGiveTheSameAnswer) {
  // 森 drawn tiny far from the origin, and with its points thinned to the
  // corners the data has.
  THandDrawing small = Drawing(U'森');
  for (THandStroke& s : small)
    for (THandPoint& p : s) p = {1e6 + p.X / 50, -3e5 + p.Y / 50};
  EXPECT_EQ(Candidates(small).front(), U'森');

  // A dot, a flat line, one point: no box to speak of, yet an answer with
  // distances that are numbers.
  for (const THandDrawing& drawing :
       {THandDrawing{{{5, 5}}}, THandDrawing{{{5, 5}, {5, 5}}},
        THandDrawing{{{0, 10}, {100, 10}}}}) {
    const std::vector<THandCandidate> found = recognizer->Recognize(drawing);
    ASSERT_FALSE(found.empty());
    for (const THandCandidate& c : found) EXPECT_TRUE(std::isfinite(c.Distance));
  }
  EXPECT_EQ(Candidates(THandDrawing{{{0, 10}, {100, 10}}}).front(), U'一');
  // Nothing drawn, or only empty strokes: nothing to say.
  EXPECT_TRUE(recognizer->Recognize({}).empty());
  EXPECT_TRUE(recognizer->Recognize({{}, {}}).empty());
  EXPECT_EQ(recognizer->Recognize(Gong, 3).size(), 3u);
}

TEST_F(TRecognizerFixture, DrawingsBeyondReasonAreRefused) {
  THandDrawing many(HandMostStrokes + 1, Line({{0, 0}, {10, 10}}));
  EXPECT_THROW(recognizer->Recognize(many), EHandDrawing);
  many.pop_back();
  EXPECT_NO_THROW(recognizer->Recognize(many));

  THandDrawing dense = {THandStroke(HandMostPoints + 1, {1, 2})};
  EXPECT_THROW(recognizer->Recognize(dense), EHandDrawing);

  for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e300}) {
    THandDrawing drawing = Gong;
    drawing[1][3].Y = bad;
    EXPECT_THROW(recognizer->Recognize(drawing), EHandDrawing) << bad;
    EXPECT_THROW(AlignHandStrokes(drawing, Gong), EHandDrawing) << bad;
  }
}

TEST(HandRecognizer, ADamagedRecordLeavesOnlyItsCharacterOut) {
  std::ifstream in(BundledPath, std::ios::binary);
  std::string whole(std::istreambuf_iterator<char>(in), {});
  const TStrokeData clean = TStrokeData::FromBytes(whole);
  const auto [begin, end] = test::StrokeRecordSpan(whole, U'中');
  ASSERT_LT(begin, end);
  for (std::uint32_t at = begin; at < end; ++at) whole[at] = char(0xFF);
  const TStrokeData damaged = TStrokeData::FromBytes(whole);

  const THandRecognizer recognizer(damaged);
  EXPECT_EQ(recognizer.Count(), clean.Count() - 1);
  ASSERT_EQ(recognizer.Damaged().size(), 1u);
  EXPECT_NE(recognizer.Damaged()[0].find("U+4E2D"), std::string::npos)
      << recognizer.Damaged()[0];
  // 中 is not offered; its neighbours in the file still are.
  const THandDrawing zhong = {Line({{20, 30}, {20, 70}}),
                              Line({{20, 30}, {80, 30}, {80, 70}}),
                              Line({{20, 70}, {80, 70}}), Line({{50, 5}, {50, 95}})};
  for (const THandCandidate& c : recognizer.Recognize(zhong))
    EXPECT_NE(c.CodePoint, U'中');
  const THandRecognizer whole_(clean);
  EXPECT_TRUE(whole_.Damaged().empty());
  const std::vector<THandCandidate> found = whole_.Recognize(zhong);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found[0].CodePoint, U'中');
}

}  // namespace
}  // namespace velmora
