#include "dict/KeyEntries.h"

#include <cstring>

#include "dict/DictFile.h"

namespace velmora {

std::map<std::string, std::vector<TKeyEntry>, std::less<>> EntriesOfKeys(
    const std::set<std::string, std::less<>>& keys, TDictImages& images) {
  std::map<std::string, std::vector<TKeyEntry>, std::less<>> found;
  if (keys.empty()) return found;
  std::size_t longest = 0;
  for (const std::string& key : keys) longest = std::max(longest, key.size());
  for (int file = 1; file <= 5; ++file) {
    const auto image = images.Open(DictFileName(file));
    if (!image) continue;
    const std::string_view bytes = image->Bytes();
    for (std::size_t start = 0; start < bytes.size();) {
      const void* lf = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
      const std::size_t end =
          lf ? std::size_t(static_cast<const char*>(lf) - bytes.data()) : bytes.size();
      std::string_view line = bytes.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      // Only the separator within reach of the longest key matters.
      const std::size_t separator =
          line.substr(0, longest + kKeySeparator.size()).find(kKeySeparator);
      if (separator == std::string_view::npos) continue;
      const auto key = keys.find(line.substr(0, separator));
      if (key == keys.end()) continue;
      const TEntry entry = SplitLine(line);
      found[*key].push_back({file, std::string(entry.Explanation)});
    }
  }
  return found;
}

}  // namespace velmora
