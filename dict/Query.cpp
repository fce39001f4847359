#include "dict/Query.h"

#include <algorithm>

#include "dict/DictText.h"

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

int OwnFileNumber(std::string_view query) {
  return int(std::min<std::size_t>(query.size() / 2, 5));
}

}  // namespace velmora
