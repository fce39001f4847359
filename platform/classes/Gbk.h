// GBK (code page 936) to Unicode and back. Every byte string round-trips:
// bytes that do not form a GBK character decode to reserved code points
// (U+10FF00 + byte) that encode back to the same byte.
#pragma once

#include <string>
#include <string_view>

namespace velmora::gbk {

constexpr char32_t kRawByteBase = 0x10FF00;

// A byte from 0x81 to 0xFE starts a double-byte character.
constexpr bool IsLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

// Unicode code points of the GBK bytes.
std::u32string Decode(std::string_view gbk);
// GBK bytes of the code points; one GBK cannot hold becomes "?".
std::string Encode(std::u32string_view text);
// Bytes that Encode gives for one code point (1 or 2).
int EncodedLength(char32_t c);
// Bytes of the character that Decode finds at gbk[i] (1 or 2; i < size):
// 2 only for a pair the code table holds.
int DecodedLengthAt(std::string_view gbk, size_t i);

std::string ToUtf8(std::string_view gbk);
// Each byte of an invalid UTF-8 sequence becomes "?", like a character GBK
// cannot hold. Reserved code points come back as their bytes, so
// FromUtf8(ToUtf8(x)) == x for any bytes x.
std::string FromUtf8(std::string_view utf8);
// UTF-8 text as FromUtf8 reads it, before encoding: FromUtf8(s) ==
// Encode(DecodeUtf8(s)); a byte that is no UTF-8 is U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);

// The first character of text that Encode turns into "?", named for a
// message ("U+00F1"); empty when Encode keeps every character.
std::string NameFirstUnencodable(std::u32string_view text);
// The same for UTF-8 text as FromUtf8 reads it; a byte that is no UTF-8 is
// named as that byte ("0xFF").
std::string NameFirstUnencodableUtf8(std::string_view utf8);

}  // namespace velmora::gbk
