#include "dict/Simplified.h"

#include <opencc/opencc.h>

#include <cstdint>

#include "platform/classes/Gbk.h"

namespace velmora {

namespace {

class TConverter {
 public:
  TConverter() : handle_(opencc_open(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP)) {}
  ~TConverter() {
    if (Usable()) opencc_close(handle_);
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  bool Usable() const { return handle_ != reinterpret_cast<opencc_t>(std::intptr_t(-1)); }

  // UTF-8 in and out; the input back when the conversion fails.
  std::string Convert(const std::string& utf8) const {
    if (!Usable()) return utf8;
    char* out = opencc_convert_utf8(handle_, utf8.data(), utf8.size());
    if (!out) return utf8;
    std::string result(out);
    opencc_convert_utf8_free(out);
    return result;
  }

 private:
  opencc_t handle_;
};

}  // namespace

std::string ToSimplified(std::string_view gbk) {
  bool doubleByte = false;
  for (char c : gbk) doubleByte |= gbk::IsLeadByte(static_cast<unsigned char>(c));
  if (!doubleByte) return std::string(gbk);
  static const TConverter converter;
  const std::string simplified = gbk::FromUtf8(converter.Convert(gbk::ToUtf8(gbk)));
  // A character that the simplified form can't hold in GBK (none should)
  // would come back as "?": keep the query as it was rather than search
  // for something else.
  if (simplified.find('?') != std::string::npos &&
      std::string_view(gbk).find('?') == std::string_view::npos)
    return std::string(gbk);
  return simplified;
}

}  // namespace velmora
