#include "dict/Query.h"

#include <algorithm>

#include "dict/DictText.h"
#include "dict/Texts.h"

namespace velmora {

std::string CleanQuery(std::string_view query) {
  std::string out;
  out.reserve(query.size());
  for (std::size_t i = 0; i < query.size();) {
    const std::size_t n = LeadByteLengthAt(query, i);
    const unsigned char c = static_cast<unsigned char>(query[i]);
    if (n == 2 || c < 0x21 || c > 0x7E) out.append(query.substr(i, n));
    i += n;
  }
  return out;
}

std::string_view FirstLine(std::string_view text) {
  std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return text;
  if (end > 0 && text[end - 1] == '\r') --end;
  return text.substr(0, end);
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string UnencodableQueryMessage(std::string_view name) {
  std::string message(texts::kUnencodableQuery);
  return message.append(name);
}

int OwnFileNumber(std::string_view query) {
  return int(std::min<std::size_t>(query.size() / 2, 5));
}

}  // namespace velmora
