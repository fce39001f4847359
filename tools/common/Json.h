// JSON text for the command-line tools, so that every tool escapes alike.
#pragma once

#include <string>

namespace velmora::tools {

// A quoted JSON string for UTF-8 text, escaped by the JSON library. Bytes that
// aren't UTF-8 become replacement characters. DEL is a control character to
// most readers although JSON lets it stand; in UTF-8 its byte stands for
// nothing else, so every one is escaped too.
std::string JsonString(const std::string& utf8);

}  // namespace velmora::tools
