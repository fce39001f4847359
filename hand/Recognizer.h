// Handwriting lookup: a character drawn as strokes of points in, the
// characters of the stroke data it most resembles out, best first.
//
// Every stroke, drawn or from the data's medians, becomes a few short pieces
// of equal length along the stroke (their positions, directions and lengths
// in a box normalised to the drawing's size). A drawing is matched against a
// character stroke by stroke, in any order, where a drawn stroke may stand
// for two strokes of the character written in one go (joined), two drawn
// strokes for one of the character (split), and strokes may be left over on
// either side at a price. The characters' pieces are worked out once, when
// the recognizer is made; a coarse ink picture (where the ink lies, in which
// direction) and the stroke count choose the few hundred characters that are
// matched in full, and the closest few dozen of those are matched again with
// the pieces of paired strokes free to slide along each other (dynamic time
// warping), so that a bend drawn a little early or late costs little.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/classes/SysUtils.h"

namespace velmora {

class TStrokeData;

// A drawing that can't be matched: too many strokes or points, or
// coordinates that are not numbers.
class EHandDrawing : public Exception {
  using Exception::Exception;
};

struct THandPoint {
  double X = 0;
  double Y = 0;
};
using THandStroke = std::vector<THandPoint>;
// Strokes in the order drawn; any box, y pointing down.
using THandDrawing = std::vector<THandStroke>;

// What a drawing may hold. No character has more than a few dozen strokes,
// and a pad gives a few hundred points a stroke.
constexpr std::size_t HandMostStrokes = 64;
constexpr std::size_t HandMostPoints = 100000;

struct THandCandidate {
  char32_t CodePoint = 0;
  // How far the drawing is from the character: 0 for the same pieces,
  // about 1 for nothing in common.
  double Distance = 0;
  std::uint32_t Index = 0;  // the character's place in the recognizer
};

class THandRecognizer {
 public:
  // Reads every character of data and works out its pieces. A character
  // whose record is damaged is left out, and said so in Damaged(): one bad
  // record costs that character, not the whole lookup.
  explicit THandRecognizer(const TStrokeData& data);
  THandRecognizer(THandRecognizer&&) noexcept;
  THandRecognizer& operator=(THandRecognizer&&) noexcept;
  ~THandRecognizer();

  // Up to count candidates, closest first; none for a drawing without
  // points. Raises EHandDrawing for a drawing beyond the limits above.
  // Safe to call from several threads at once.
  std::vector<THandCandidate> Recognize(const THandDrawing& drawing,
                                        std::size_t count = 10) const;

  std::size_t Count() const;
  // The messages of the records left out, one each.
  const std::vector<std::string>& Damaged() const;
  // The bytes the characters' pieces take.
  std::size_t MemoryBytes() const;

  struct TTables;

 private:
  std::vector<TTables> tables_;  // one element; a vector keeps the header light
};

// How a drawing's strokes pair with a character's, for tests of the
// alignment itself: the strokes given as point lists in any box.
struct THandAlignment {
  double Distance = 0;
  int Singles = 0;  // one drawn stroke for one stroke
  int Joined = 0;   // one drawn stroke for two strokes in a row
  int Split = 0;    // two drawn strokes in a row for one stroke
  int DrawnLeft = 0;
  int StrokesLeft = 0;
};
THandAlignment AlignHandStrokes(const THandDrawing& drawing,
                                const THandDrawing& character);

}  // namespace velmora
