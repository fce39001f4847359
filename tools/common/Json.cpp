#include "tools/common/Json.h"

#include <nlohmann/json.hpp>

namespace velmora::tools {

std::string JsonString(const std::string& utf8) {
  const std::string dumped =
      nlohmann::json(utf8).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string out;
  out.reserve(dumped.size());
  for (char c : dumped) {
    if (c == '\x7F')
      out += "\\u007f";
    else
      out += c;
  }
  return out;
}

}  // namespace velmora::tools
