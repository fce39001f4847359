#include "hand/Recognizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "strokes/StrokeData.h"

namespace velmora {

namespace {

// Points a stroke is resampled to: Pieces pieces of equal length.
constexpr int Points = 10;
constexpr int Pieces = Points - 1;
// The coarse ink picture: Cells x Cells places, Directions directions.
constexpr int Cells = 4;
constexpr int Directions = 4;
constexpr int CoarseSize = Cells * Cells * Directions;
// How many characters the full alignment sees after the coarse choice.
constexpr std::size_t Finalists = 300;
// How many of those are matched again with pieces free to slide.
constexpr std::size_t Reranked = 40;

// The weights of the alignment, found on the benchmark's drawings.
constexpr float DirectionWeight = 0.5f;
constexpr float WarpWeight = 0.3f;
constexpr float JoinPrice = 0.02f;
constexpr float SplitPrice = 0.02f;
// A stroke left over on either side costs more than most poor pairs: a
// hand draws every stroke, if not where the data has it.
constexpr float LeftBase = 0.25f;
constexpr float LeftPerLength = 0.4f;

struct TPoint {
  float X = 0;
  float Y = 0;
};

// A stroke as its resampled points, in a box of side 1.
struct TShape {
  std::array<TPoint, Points> P;
  float Length = 0;
};

using TCoarse = std::array<float, CoarseSize>;

// Not std::hypot, which guards against overflow that coordinates in a box of
// side 1 never reach, at several times the price.
float Norm(float x, float y) {
  return std::sqrt(x * x + y * y);
}
float Distance(TPoint a, TPoint b) {
  return Norm(a.X - b.X, a.Y - b.Y);
}

// Points evenly spaced along the polyline; a polyline without length gives
// its first point everywhere.
TShape Resample(const std::vector<TPoint>& line) {
  TShape shape;
  float total = 0;
  for (std::size_t i = 1; i < line.size(); ++i) total += Distance(line[i - 1], line[i]);
  shape.Length = total;
  if (line.empty()) return shape;
  if (total <= 0) {
    shape.P.fill(line.front());
    return shape;
  }
  const float step = total / Pieces;
  std::size_t segment = 1;
  float before = 0;  // length of the line up to line[segment - 1]
  for (int k = 0; k < Points; ++k) {
    const float at = std::min(k * step, total);
    while (segment + 1 < line.size() &&
           before + Distance(line[segment - 1], line[segment]) < at) {
      before += Distance(line[segment - 1], line[segment]);
      ++segment;
    }
    if (line.size() == 1) {
      shape.P[k] = line[0];
      continue;
    }
    const TPoint a = line[segment - 1], b = line[segment];
    const float length = Distance(a, b);
    const float t = length > 0 ? std::clamp((at - before) / length, 0.f, 1.f) : 0.f;
    shape.P[k] = {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)};
  }
  return shape;
}

// Two strokes as one, written without lifting the pen between them.
TShape Join(const TShape& a, const TShape& b) {
  std::vector<TPoint> line(a.P.begin(), a.P.end());
  line.insert(line.end(), b.P.begin(), b.P.end());
  return Resample(line);
}

// The cost of taking one stroke for another: how far apart their points
// lie, and how much their pieces differ in direction and length.
float ShapeCost(const TShape& a, const TShape& b) {
  float position = 0, pieces = 0;
  for (int k = 0; k < Points; ++k) position += Distance(a.P[k], b.P[k]);
  for (int k = 0; k < Pieces; ++k) {
    const float dx = (a.P[k + 1].X - a.P[k].X) - (b.P[k + 1].X - b.P[k].X);
    const float dy = (a.P[k + 1].Y - a.P[k].Y) - (b.P[k + 1].Y - b.P[k].Y);
    pieces += Norm(dx, dy);
  }
  return position / Points + DirectionWeight * pieces;
}

// The same with the pieces free to slide along each other (dynamic time
// warping): a bend a little earlier or later in one stroke, as when a part of
// a character is drawn larger than the rest, costs little. Each piece is its
// middle and its direction.
float WarpedCost(const TShape& a, const TShape& b) {
  std::array<TPoint, Pieces> ma, mb, ua, ub;
  auto pieces = [](const TShape& s, std::array<TPoint, Pieces>& mid,
                   std::array<TPoint, Pieces>& unit) {
    for (int k = 0; k < Pieces; ++k) {
      const TPoint p = s.P[k], q = s.P[k + 1];
      mid[k] = {(p.X + q.X) / 2, (p.Y + q.Y) / 2};
      const float length = Distance(p, q);
      unit[k] =
          length > 0 ? TPoint{(q.X - p.X) / length, (q.Y - p.Y) / length} : TPoint{};
    }
  };
  pieces(a, ma, ua);
  pieces(b, mb, ub);
  // Symmetric steps: a diagonal step counts twice, so every path from corner
  // to corner weighs 2 * Pieces.
  std::array<float, Pieces> row, last;
  for (int i = 0; i < Pieces; ++i) {
    for (int j = 0; j < Pieces; ++j) {
      const float c = Distance(ma[i], mb[j]) + WarpWeight * Distance(ua[i], ub[j]);
      float best;
      if (i == 0 && j == 0)
        best = 2 * c;
      else if (i == 0)
        best = row[j - 1] + c;
      else if (j == 0)
        best = last[j] + c;
      else
        best = std::min({last[j - 1] + 2 * c, last[j] + c, row[j - 1] + c});
      row[j] = best;
    }
    last = row;
  }
  return last[Pieces - 1] / (2 * Pieces);
}

float LeftCost(const TShape& s) {
  return LeftBase + LeftPerLength * s.Length;
}

// Where the ink lies and which way it runs, spread over the neighbouring
// cells, as shares of all the ink.
TCoarse Coarse(const std::vector<TShape>& strokes) {
  TCoarse coarse{};
  float total = 0;
  for (const TShape& s : strokes) {
    for (int k = 0; k < Pieces; ++k) {
      const TPoint a = s.P[k], b = s.P[k + 1];
      const float length = Distance(a, b);
      if (length <= 0) continue;
      float angle = std::atan2(b.Y - a.Y, b.X - a.X);
      if (angle < 0) angle += float(M_PI);
      const int direction =
          int(std::lround(angle / float(M_PI) * Directions)) % Directions;
      const float x = std::clamp((a.X + b.X) / 2 * Cells - 0.5f, 0.f, Cells - 1.f);
      const float y = std::clamp((a.Y + b.Y) / 2 * Cells - 0.5f, 0.f, Cells - 1.f);
      const int x0 = std::min(int(x), Cells - 2), y0 = std::min(int(y), Cells - 2);
      const float fx = x - x0, fy = y - y0;
      auto add = [&](int cx, int cy, float w) {
        coarse[(cy * Cells + cx) * Directions + direction] += w * length;
      };
      add(x0, y0, (1 - fx) * (1 - fy));
      add(x0 + 1, y0, fx * (1 - fy));
      add(x0, y0 + 1, (1 - fx) * fy);
      add(x0 + 1, y0 + 1, fx * fy);
      total += length;
    }
  }
  if (total > 0)
    for (float& v : coarse) v /= total;
  return coarse;
}

float CoarseCost(const TCoarse& a, const TCoarse& b) {
  float sum = 0;
  for (int i = 0; i < CoarseSize; ++i) sum += std::fabs(a[i] - b[i]);
  return sum;
}

// Strokes in any box scaled into a box of side 1 by their larger extent,
// centred; resampled.
template <class TLine, class TGet>
std::vector<TShape> Normalise(const std::vector<TLine>& strokes, TGet get) {
  float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const TLine& line : strokes)
    for (const auto& p : line) {
      const TPoint q = get(p);
      minX = std::min(minX, q.X), maxX = std::max(maxX, q.X);
      minY = std::min(minY, q.Y), maxY = std::max(maxY, q.Y);
    }
  const float size = std::max(maxX - minX, maxY - minY);
  const float scale = size > 0 ? 1 / size : 1;
  const float offX = 0.5f - (minX + maxX) / 2 * scale;
  const float offY = 0.5f - (minY + maxY) / 2 * scale;
  std::vector<TShape> shapes;
  shapes.reserve(strokes.size());
  std::vector<TPoint> line;
  for (const TLine& stroke : strokes) {
    line.clear();
    for (const auto& p : stroke) {
      const TPoint q = get(p);
      line.push_back({q.X * scale + offX, q.Y * scale + offY});
    }
    shapes.push_back(Resample(line));
  }
  return shapes;
}

struct TAlignStep {
  float Cost;
  std::uint8_t Kind;  // 0 single, 1 joined, 2 split
  std::uint8_t Drawn;
  std::uint8_t Stroke;
};

// The drawing's shapes with those of each two strokes in a row.
struct TPrepared {
  std::vector<TShape> Strokes;
  std::vector<TShape> Pairs;
};

TPrepared Prepare(std::vector<TShape> strokes) {
  TPrepared prepared;
  for (std::size_t i = 0; i + 1 < strokes.size(); ++i)
    prepared.Pairs.push_back(Join(strokes[i], strokes[i + 1]));
  prepared.Strokes = std::move(strokes);
  return prepared;
}

// Pairs the drawing's strokes with the character's, cheapest pairs first,
// each stroke used once; what is left on either side costs by its length.
template <float (*ShapeCost)(const TShape&, const TShape&)>
THandAlignment Align(const TPrepared& drawing, const TShape* strokes, std::size_t count,
                     std::vector<TAlignStep>& steps) {
  const std::size_t n = drawing.Strokes.size(), m = count;
  steps.clear();
  std::vector<TShape> joined;
  joined.reserve(m ? m - 1 : 0);
  for (std::size_t j = 0; j + 1 < m; ++j)
    joined.push_back(Join(strokes[j], strokes[j + 1]));
  for (std::size_t i = 0; i < n; ++i) {
    const TShape& d = drawing.Strokes[i];
    const float leftD = LeftCost(d);
    for (std::size_t j = 0; j < m; ++j) {
      const float c = ShapeCost(d, strokes[j]);
      if (c < leftD + LeftCost(strokes[j]))
        steps.push_back({c, 0, std::uint8_t(i), std::uint8_t(j)});
      if (j + 1 < m) {
        const float cj = ShapeCost(d, joined[j]) + JoinPrice;
        if (cj < leftD + LeftCost(strokes[j]) + LeftCost(strokes[j + 1]))
          steps.push_back({cj, 1, std::uint8_t(i), std::uint8_t(j)});
      }
      if (i + 1 < n) {
        const float cs = ShapeCost(drawing.Pairs[i], strokes[j]) + SplitPrice;
        if (cs < leftD + LeftCost(drawing.Strokes[i + 1]) + LeftCost(strokes[j]))
          steps.push_back({cs, 2, std::uint8_t(i), std::uint8_t(j)});
      }
    }
  }
  std::sort(steps.begin(), steps.end(),
            [](const TAlignStep& a, const TAlignStep& b) { return a.Cost < b.Cost; });
  std::array<bool, 256> usedD{}, usedS{};
  THandAlignment result;
  float total = 0;
  for (const TAlignStep& s : steps) {
    const int d2 = s.Kind == 2 ? 1 : 0, s2 = s.Kind == 1 ? 1 : 0;
    if (usedD[s.Drawn] || usedD[s.Drawn + d2] || usedS[s.Stroke] || usedS[s.Stroke + s2])
      continue;
    usedD[s.Drawn] = usedD[s.Drawn + d2] = true;
    usedS[s.Stroke] = usedS[s.Stroke + s2] = true;
    total += s.Cost;
    ++(s.Kind == 0 ? result.Singles : s.Kind == 1 ? result.Joined : result.Split);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!usedD[i]) total += LeftCost(drawing.Strokes[i]), ++result.DrawnLeft;
  for (std::size_t j = 0; j < m; ++j)
    if (!usedS[j]) total += LeftCost(strokes[j]), ++result.StrokesLeft;
  result.Distance = total / float(std::max<std::size_t>({n, m, 1}));
  return result;
}

// Whether a character of strokes strokes may be what n drawn strokes mean:
// hands join and split strokes and forget some, but not many.
bool CountFits(std::size_t n, std::size_t strokes) {
  const std::size_t margin = 2 + std::max(n, strokes) / 4;
  return strokes + margin >= n && strokes <= n + margin;
}

std::vector<TShape> NormaliseDrawing(const THandDrawing& drawing) {
  return Normalise(drawing, [](const THandPoint& p) {
    return TPoint{float(p.X), float(p.Y)};
  });
}

void CheckDrawing(const THandDrawing& drawing) {
  if (drawing.size() > HandMostStrokes)
    throw EHandDrawing("the drawing has " + std::to_string(drawing.size()) +
                       " strokes; at most " + std::to_string(HandMostStrokes) +
                       " are read");
  std::size_t points = 0;
  for (const THandStroke& stroke : drawing) {
    points += stroke.size();
    for (const THandPoint& p : stroke)
      // Beyond this a float loses the drawing's detail, and its square
      // overflows.
      if (!(std::fabs(p.X) <= 1e15) || !(std::fabs(p.Y) <= 1e15))
        throw EHandDrawing("a coordinate is not a number of reasonable size");
  }
  if (points > HandMostPoints)
    throw EHandDrawing("the drawing has " + std::to_string(points) + " points; at most " +
                       std::to_string(HandMostPoints) + " are read");
}

}  // namespace

struct THandRecognizer::TTables {
  std::vector<char32_t> CodePoints;
  std::vector<std::uint32_t> First;  // index of each character's first shape, and the end
  std::vector<TShape> Shapes;
  std::vector<TCoarse> Coarse;
  std::vector<std::string> Damaged;
};

THandRecognizer::THandRecognizer(const TStrokeData& data) : tables_(1) {
  TTables& t = tables_[0];
  for (const char32_t c : data.CodePoints()) {
    std::optional<TCharacterStrokes> character;
    try {
      character = data.Find(c);
    } catch (const EStrokeData& e) {
      t.Damaged.push_back(e.what());
      continue;
    }
    if (!character || character->Strokes.empty() ||
        character->Strokes.size() > HandMostStrokes)
      continue;
    std::vector<std::vector<TStrokePoint>> medians;
    for (const TStroke& stroke : character->Strokes) medians.push_back(stroke.Median);
    std::vector<TShape> shapes = Normalise(medians, [](const TStrokePoint& p) {
      return TPoint{float(p.X), float(p.Y)};
    });
    t.CodePoints.push_back(c);
    t.First.push_back(std::uint32_t(t.Shapes.size()));
    t.Coarse.push_back(Coarse(shapes));
    t.Shapes.insert(t.Shapes.end(), shapes.begin(), shapes.end());
  }
  t.First.push_back(std::uint32_t(t.Shapes.size()));
  t.Shapes.shrink_to_fit();
  t.Coarse.shrink_to_fit();
  t.CodePoints.shrink_to_fit();
  t.First.shrink_to_fit();
}

THandRecognizer::THandRecognizer(THandRecognizer&&) noexcept = default;
THandRecognizer& THandRecognizer::operator=(THandRecognizer&&) noexcept = default;
THandRecognizer::~THandRecognizer() = default;

std::size_t THandRecognizer::Count() const {
  return tables_[0].CodePoints.size();
}

const std::vector<std::string>& THandRecognizer::Damaged() const {
  return tables_[0].Damaged;
}

std::size_t THandRecognizer::MemoryBytes() const {
  const TTables& t = tables_[0];
  return t.CodePoints.capacity() * sizeof(char32_t) +
         t.First.capacity() * sizeof(std::uint32_t) +
         t.Shapes.capacity() * sizeof(TShape) + t.Coarse.capacity() * sizeof(TCoarse);
}

std::vector<THandCandidate> THandRecognizer::Recognize(const THandDrawing& drawing,
                                                       std::size_t count) const {
  CheckDrawing(drawing);
  THandDrawing strokes;
  for (const THandStroke& stroke : drawing)
    if (!stroke.empty()) strokes.push_back(stroke);
  if (strokes.empty() || count == 0) return {};
  const TTables& t = tables_[0];
  const TPrepared prepared = Prepare(NormaliseDrawing(strokes));
  const TCoarse coarse = Coarse(prepared.Strokes);
  const std::size_t n = prepared.Strokes.size();

  std::vector<std::pair<float, std::uint32_t>> near;
  for (std::uint32_t c = 0; c < t.CodePoints.size(); ++c)
    if (CountFits(n, t.First[c + 1] - t.First[c]))
      near.emplace_back(CoarseCost(coarse, t.Coarse[c]), c);
  if (near.size() > Finalists) {
    std::nth_element(near.begin(), near.begin() + Finalists, near.end());
    near.resize(Finalists);
  }

  std::vector<THandCandidate> found;
  found.reserve(near.size());
  std::vector<TAlignStep> steps;
  for (const auto& [cost, c] : near) {
    const THandAlignment a = Align<ShapeCost>(prepared, &t.Shapes[t.First[c]],
                                              t.First[c + 1] - t.First[c], steps);
    found.push_back({t.CodePoints[c], a.Distance, c});
  }
  auto closer = [](const THandCandidate& a, const THandCandidate& b) {
    return a.Distance < b.Distance ||
           (a.Distance == b.Distance && a.CodePoint < b.CodePoint);
  };
  // The closest again, with pieces that may slide.
  const std::size_t rerank = std::min(std::max(count, Reranked), found.size());
  std::partial_sort(found.begin(), found.begin() + rerank, found.end(), closer);
  found.resize(rerank);
  for (THandCandidate& f : found) {
    const std::uint32_t c = f.Index;
    f.Distance = Align<WarpedCost>(prepared, &t.Shapes[t.First[c]],
                                   t.First[c + 1] - t.First[c], steps)
                     .Distance;
  }
  std::sort(found.begin(), found.end(), closer);
  found.resize(std::min(count, found.size()));
  for (THandCandidate& f : found) f.CodePoint = t.CodePoints[f.Index];
  return found;
}

THandAlignment AlignHandStrokes(const THandDrawing& drawing,
                                const THandDrawing& character) {
  CheckDrawing(drawing);
  CheckDrawing(character);
  // Both in one box, so that only the strokes' differences count.
  THandDrawing both = drawing;
  both.insert(both.end(), character.begin(), character.end());
  std::vector<TShape> shapes = NormaliseDrawing(both);
  std::vector<TShape> own(shapes.begin() + drawing.size(), shapes.end());
  shapes.resize(drawing.size());
  std::vector<TAlignStep> steps;
  return Align<WarpedCost>(Prepare(std::move(shapes)), own.data(), own.size(), steps);
}

}  // namespace velmora
