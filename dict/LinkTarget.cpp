#include "dict/LinkTarget.h"

#include <algorithm>
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

std::string FileUrl(std::string_view absolutePath, std::string_view fragment) {
  auto encode = [](std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
      auto b = static_cast<unsigned char>(c);
      bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                   (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' ||
                   b == '~' || b == '/';
      if (plain) {
        out += c;
      } else {
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
    }
  };
  std::string url(kFileScheme);
  encode(url, absolutePath);
  if (!fragment.empty()) {
    url += '#';
    encode(url, fragment);
  }
  return url;
}

std::optional<std::string> FileInsideFolder(const std::string& folder,
                                            const std::string& relative) {
  std::error_code ec;
  fs::path base = fs::canonical(folder, ec);
  if (ec) return std::nullopt;
  // Joined as text: a relative name that starts with "/" stays below the
  // folder, as the link prefix puts it there.
  std::string joined = base.string() + "/" + ResolveLinkCase(base.string(), relative);
  fs::path target = fs::canonical(joined, ec);
  if (ec) return std::nullopt;
  fs::file_status status = fs::status(target, ec);
  if (ec || !(fs::is_regular_file(status) || fs::is_directory(status)))
    return std::nullopt;
  // Inside means every part of the folder's path begins the target's path.
  auto [folderEnd, targetAt] =
      std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  if (folderEnd != base.end()) return std::nullopt;
  return target.string();
}

std::optional<std::string> LinkOpenTarget(std::string_view gbkLink,
                                          const std::string& folder) {
  if (!EqualsIgnoringAsciiCase(gbkLink.substr(0, kFileScheme.size()), kFileScheme)) {
    return gbk::ToUtf8(gbkLink);
  }
  std::string relative = gbk::ToUtf8(gbkLink.substr(kFileScheme.size()));
  if (std::optional<std::string> file = FileInsideFolder(folder, relative)) {
    return FileUrl(*file);
  }
  std::size_t hash = relative.find('#');
  if (hash == std::string::npos) return std::nullopt;
  std::optional<std::string> file = FileInsideFolder(folder, relative.substr(0, hash));
  if (!file) return std::nullopt;
  return FileUrl(*file, std::string_view(relative).substr(hash + 1));
}

}  // namespace velmora
