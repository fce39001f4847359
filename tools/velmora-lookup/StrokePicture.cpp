#include "tools/velmora-lookup/StrokePicture.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/classes/Programs.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

const char GifToolName[] = "velmora-gif";

// Removes the temporary file however the function leaves.
struct TRemoveOnExit {
  std::string Path;
  ~TRemoveOnExit() {
    if (!Path.empty()) ::unlink(Path.c_str());
  }
};

}  // namespace

std::string FindGifTool() {
  return FindProgram(GifToolName);
}

std::string StrokeAnimationGif(const std::string& character, const std::string& folder) {
  const std::string tool = FindGifTool();
  if (tool.empty()) return {};
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) return {};
  std::string pattern = (temp / "velmora-lookup-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  const TRemoveOnExit remove{pattern};
  const pid_t pid =
      StartProgram({tool, "strokes", "-C", folder, character, pattern}, true);
  if (pid < 0 || WaitProgram(pid) != 0) return {};
  std::ifstream in(pattern, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  // Only a GIF goes into the page, whatever else the program may have left.
  if (in.bad() || bytes.rfind("GIF8", 0) != 0) return {};
  return bytes;
}

std::string Base64(const std::string& bytes) {
  static const char digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned n = unsigned(static_cast<unsigned char>(bytes[i])) << 16 |
                       unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                       unsigned(static_cast<unsigned char>(bytes[i + 2]));
    for (int shift : {18, 12, 6, 0}) out += digits[(n >> shift) & 63];
  }
  if (const std::size_t rest = bytes.size() - i) {
    unsigned n = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) n |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += rest == 2 ? digits[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace velmora
