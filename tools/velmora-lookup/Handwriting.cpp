#include "tools/velmora-lookup/Handwriting.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "dict/DictFolder.h"
#include "hand/Recognizer.h"
#include "platform/classes/Gbk.h"
#include "strokes/StrokeData.h"
#include "tools/common/StrokeFile.h"

namespace velmora {

namespace {

using json = nlohmann::json;

// A drawing of the most points the recognizer takes, written out with
// generous numbers, fits in this; a longer line is refused unread.
constexpr std::size_t MostLineBytes = 4 << 20;

// One line without its line feed (and a CR before it). False at the end of
// the input. A line beyond MostLineBytes comes back empty with tooLong set,
// its bytes skipped.
bool ReadLine(std::FILE* in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  char buffer[65536];
  bool any = false;
  while (std::fgets(buffer, sizeof buffer, in)) {
    any = true;
    const std::size_t n = std::strlen(buffer);
    const bool end = n > 0 && buffer[n - 1] == '\n';
    if (!tooLong) {
      line.append(buffer, end ? n - 1 : n);
      if (line.size() > MostLineBytes) {
        tooLong = true;
        line.clear();
        line.shrink_to_fit();
      }
    }
    if (end) break;
  }
  if (!tooLong && !line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// The drawing of one line, or why it is not one.
std::optional<THandDrawing> ParseDrawing(const std::string& line, std::string& why) {
  const json value = json::parse(line, nullptr, false);
  if (value.is_discarded()) {
    why = "not JSON";
    return std::nullopt;
  }
  if (!value.is_array()) {
    why = "not an array of strokes";
    return std::nullopt;
  }
  THandDrawing drawing;
  std::size_t points = 0;
  for (const json& stroke : value) {
    if (!stroke.is_array()) {
      why = "stroke " + std::to_string(drawing.size() + 1) + " is not an array of points";
      return std::nullopt;
    }
    THandStroke out;
    for (const json& point : stroke) {
      if (!point.is_array() || point.size() != 2 || !point[0].is_number() ||
          !point[1].is_number()) {
        why = "stroke " + std::to_string(drawing.size() + 1) + ", point " +
              std::to_string(out.size() + 1) + " is not [x, y]";
        return std::nullopt;
      }
      out.push_back({point[0].get<double>(), point[1].get<double>()});
    }
    points += out.size();
    drawing.push_back(std::move(out));
  }
  if (points == 0) {
    why = "the drawing has no points";
    return std::nullopt;
  }
  return drawing;
}

}  // namespace

THandwritingResult AnswerDrawings(const THandRecognizer& recognizer, std::FILE* in,
                                  const std::string& inName, std::FILE* out,
                                  std::FILE* err) {
  THandwritingResult result;
  std::string line;
  bool tooLong = false;
  for (long number = 1; ReadLine(in, line, tooLong); ++number) {
    std::string answer, why;
    if (tooLong) {
      why = "longer than " + std::to_string(MostLineBytes >> 20) + " MiB";
    } else if (const std::optional<THandDrawing> drawing = ParseDrawing(line, why)) {
      try {
        for (const THandCandidate& c : recognizer.Recognize(*drawing)) {
          if (!answer.empty()) answer += ' ';
          gbk::AppendUtf8(answer, c.CodePoint);
        }
      } catch (const EHandDrawing& e) {
        why = e.what();
      }
    }
    if (!why.empty()) {
      std::fprintf(err, "velmora-lookup: %s, line %ld: %s\n", inName.c_str(), number,
                   why.c_str());
      ++result.Refused;
    }
    answer += '\n';
    if (std::fwrite(answer.data(), 1, answer.size(), out) != answer.size() ||
        std::fflush(out) != 0) {
      result.WriteFailed = true;
      return result;
    }
  }
  result.ReadFailed = std::ferror(in) != 0;
  return result;
}

int RunHandwriting(const std::string& file, const std::optional<std::string>& folder) {
  std::string why;
  const std::string dataFile = tools::StrokeDataFile(folder, why);
  if (dataFile.empty()) {
    std::fprintf(stderr, "velmora-lookup: no stroke data (%s) in %s; try -C DIR\n",
                 StrokeFileName, why.c_str());
    return 2;
  }
  std::optional<THandRecognizer> recognizer;
  try {
    recognizer.emplace(TStrokeData::Open(dataFile));
  } catch (const EStrokeData& e) {
    std::fprintf(stderr, "velmora-lookup: %s\n", e.what());
    return 2;
  }
  // A damaged record costs its character; the rest still answers.
  for (const std::string& damage : recognizer->Damaged())
    std::fprintf(stderr, "velmora-lookup: %s; left out\n", damage.c_str());

  const bool standardInput = file == "-";
  std::FILE* in = standardInput ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "velmora-lookup: can't open %s: %s\n", file.c_str(),
                 std::strerror(errno));
    return 2;
  }
  const THandwritingResult result = AnswerDrawings(
      *recognizer, in, standardInput ? "standard input" : file, stdout, stderr);
  const int readErrno = errno;
  if (!standardInput) std::fclose(in);
  if (result.WriteFailed) {
    std::fprintf(stderr, "velmora-lookup: can't write the candidates: %s\n",
                 std::strerror(errno));
    return 2;
  }
  if (result.ReadFailed) {
    std::fprintf(stderr, "velmora-lookup: can't read %s: %s\n",
                 standardInput ? "standard input" : file.c_str(),
                 std::strerror(readErrno));
    return 2;
  }
  return result.Refused || !recognizer->Damaged().empty() ? 2 : 0;
}

}  // namespace velmora
