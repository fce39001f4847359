#include "dict/LinkTarget.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/classes/Gbk.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFileScheme = "file://";

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

}  // namespace

std::string FileLinkPrefix(const std::string& folder) {
  std::string dir = folder;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return std::string(kFileScheme) + dir + "/";
}

std::string RewriteFileLinks(std::string_view gbkLink, std::string_view utf8Prefix,
                             int* count) {
  std::string out;
  int replaced = 0;
  std::size_t segment = 0;  // start of the text not yet copied
  std::size_t i = 0;
  while (i < gbkLink.size()) {
    if (EqualsIgnoringAsciiCase(gbkLink.substr(i, kFileScheme.size()), kFileScheme)) {
      out += gbk::ToUtf8(gbkLink.substr(segment, i - segment));
      out += utf8Prefix;
      ++replaced;
      i += kFileScheme.size();
      segment = i;
      continue;
    }
    // A lead byte takes the next byte along, whatever it is, so a match can
    // never start inside a double-byte character.
    i += gbk::IsLeadByte(static_cast<unsigned char>(gbkLink[i])) && i + 1 < gbkLink.size()
             ? 2
             : 1;
  }
  out += gbk::ToUtf8(gbkLink.substr(segment));
  if (count) *count = replaced;
  return out;
}

std::string ResolveLinkCase(const std::string& folder, const std::string& relative) {
  fs::path base(folder);
  if (relative.empty() || Exists(base / relative)) return relative;
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    std::size_t slash = relative.find('/', start);
    parts.push_back(relative.substr(start, slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  fs::path dir = base;
  std::string resolved;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string& part = parts[k];
    std::string name = part;
    if (!part.empty() && part != "." && part != ".." && !Exists(dir / part)) {
      int matches = 0;
      std::error_code ec;
      for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        if (EqualsIgnoringAsciiCase(candidate, part)) {
          name = candidate;
          ++matches;
        }
      }
      if (matches != 1) return relative;
    }
    dir /= name;
    if (k > 0) resolved += '/';
    resolved += name;
  }
  return resolved;
}

}  // namespace velmora
