// The GBK table comes from the C library's iconv, built once on first use.
// Only the decoding direction is taken from iconv; the encoding table is its
// inverse, so a pair always encodes back to itself.
#include "platform/classes/Gbk.h"

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace velmora::gbk {
namespace {

constexpr int kTrailCount = 0xFE - 0x40 + 1;  // 0x40..0xFE, 0x7F never maps
constexpr int kLeadCount = 0xFE - 0x81 + 1;

constexpr bool IsTrailByte(unsigned char b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

struct Tables {
  // Code point of each lead/trail pair, 0 when the pair does not decode.
  std::vector<char32_t> decode = std::vector<char32_t>(kLeadCount * kTrailCount, 0);
  // Pair of each BMP code point as (lead << 8 | trail), 0 when GBK cannot hold it.
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(0x10000, 0);
};

char32_t DecodePair(iconv_t cd, unsigned char lead, unsigned char trail) {
  char in[2] = {char(lead), char(trail)};
  char32_t out[2] = {};
  char* inp = in;
  size_t inLeft = 2;
  char* outp = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1)) return 0;
  // Exactly one character from both bytes; anything else is not a pair.
  if (inLeft != 0 || outLeft != sizeof out - sizeof(char32_t)) return 0;
  return out[0];
}

Tables BuildTables() {
  Tables t;
  const char* target =
      __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? "UTF-32LE" : "UTF-32BE";
  iconv_t cd = iconv_open(target, "GBK");
  if (cd == iconv_t(-1)) cd = iconv_open(target, "CP936");
  if (cd == iconv_t(-1)) {
    // Text still round-trips byte for byte; it just shows no Chinese.
    std::fputs(
        "velmora: the C library has no GBK converter; GBK text is shown as bytes\n",
        stderr);
    return t;
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (!IsTrailByte(trail)) continue;
      char32_t c = DecodePair(cd, lead, trail);
      // ASCII and code points beyond the BMP would not encode back to this
      // pair; a code point already taken keeps its first pair.
      if (c < 0x80 || c > 0xFFFF || t.encode[c] != 0) continue;
      t.decode[(lead - 0x81) * kTrailCount + (trail - 0x40)] = c;
      t.encode[c] = std::uint16_t(lead << 8 | trail);
    }
  }
  iconv_close(cd);
  return t;
}

const Tables& Table() {
  static const Tables tables = BuildTables();
  return tables;
}

constexpr bool IsRawByteCodePoint(char32_t c) {
  return c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// One code point from UTF-8 at s[i]; advances i. Returns U+FFFD (which GBK
// cannot hold, so it becomes "?") for a malformed, overlong, surrogate or
// out-of-range sequence, consuming only its first byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
  unsigned char b = s[i];
  int extra;
  char32_t c, min;
  if (b < 0x80) {
    ++i;
    return b;
  } else if (b >= 0xC2 && b <= 0xDF) {
    extra = 1, c = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2, c = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3, c = b & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (s.size() - i <= size_t(extra)) {  // truncated at the end
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char cb = s[i + k];
    if ((cb & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = c << 6 | (cb & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += extra + 1;
  return c;
}

}  // namespace

namespace {

// The pair's code point at gbk[i], or 0 when gbk[i] does not start one.
char32_t PairAt(const Tables& t, std::string_view gbk, size_t i) {
  unsigned char b = gbk[i];
  if (!IsLeadByte(b) || i + 1 >= gbk.size()) return 0;
  unsigned char trail = gbk[i + 1];
  if (!IsTrailByte(trail)) return 0;
  return t.decode[(b - 0x81) * kTrailCount + (trail - 0x40)];
}

}  // namespace

std::u32string Decode(std::string_view gbk) {
  const Tables& t = Table();
  std::u32string out;
  out.reserve(gbk.size());
  for (size_t i = 0; i < gbk.size(); ++i) {
    unsigned char b = gbk[i];
    if (b < 0x80) {
      out += char32_t(b);
    } else if (char32_t c = PairAt(t, gbk, i)) {
      out += c;
      ++i;
    } else {
      out += kRawByteBase + b;
    }
  }
  return out;
}

int DecodedLengthAt(std::string_view gbk, size_t i) {
  return (unsigned char)gbk[i] >= 0x80 && PairAt(Table(), gbk, i) ? 2 : 1;
}

std::string Encode(std::u32string_view text) {
  const Tables& t = Table();
  std::string out;
  out.reserve(text.size() * 2);
  for (char32_t c : text) {
    if (c < 0x80) {
      out += char(c);
    } else if (IsRawByteCodePoint(c)) {
      out += char(c - kRawByteBase);
    } else if (c <= 0xFFFF && t.encode[c] != 0) {
      out += char(t.encode[c] >> 8);
      out += char(t.encode[c] & 0xFF);
    } else {
      out += '?';
    }
  }
  return out;
}

int EncodedLength(char32_t c) {
  if (c < 0x80 || IsRawByteCodePoint(c)) return 1;
  return c <= 0xFFFF && Table().encode[c] != 0 ? 2 : 1;
}

std::string ToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  for (char32_t c : Decode(gbk)) AppendUtf8(out, c);
  return out;
}

std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) text += NextUtf8(utf8, i);
  return text;
}

std::string FromUtf8(std::string_view utf8) {
  return Encode(DecodeUtf8(utf8));
}

std::string NameFirstUnencodable(std::u32string_view text) {
  for (char32_t c : text) {
    if (c < 0x80 || IsRawByteCodePoint(c) || EncodedLength(c) == 2) continue;
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", unsigned(c));
    return name;
  }
  return {};
}

std::string NameFirstUnencodableUtf8(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const size_t at = i;
    const char32_t c = NextUtf8(utf8, i);
    // A byte that is no UTF-8 is named as the byte it is.
    if (c == 0xFFFD && i == at + 1) {
      char name[8];
      std::snprintf(name, sizeof name, "0x%02X", unsigned((unsigned char)utf8[at]));
      return name;
    }
    if (std::string name = NameFirstUnencodable(std::u32string_view(&c, 1));
        !name.empty())
      return name;
  }
  return {};
}

}  // namespace velmora::gbk
