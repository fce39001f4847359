// velmora-lookup --handwriting: drawings in, one line a drawing, candidate
// characters out.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace velmora {

class THandRecognizer;

// Reads a drawing a line: a JSON array of strokes, each an array of [x, y]
// points. Writes for each line the candidates, best first, separated by
// spaces (UTF-8); a line that is not a drawing gives an empty line, and a
// message naming the line on err. Returns how many lines were not drawings.
// Lines longer than what a drawing needs are refused without being held in
// memory whole.
struct THandwritingResult {
  long Refused = 0;
  bool ReadFailed = false;   // the input could not be read to its end
  bool WriteFailed = false;  // the answers could not be written
};
THandwritingResult AnswerDrawings(const THandRecognizer& recognizer, std::FILE* in,
                                  const std::string& inName, std::FILE* out,
                                  std::FILE* err);

// The whole command: finds the stroke data (-C DIR, else as the dictionary
// is found), reads FILE or standard input for "-". Exit status 0, or 2 when
// a line was not a drawing or the data or the file could not be read.
int RunHandwriting(const std::string& file, const std::optional<std::string>& folder);

}  // namespace velmora
