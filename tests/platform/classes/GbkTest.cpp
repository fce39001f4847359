#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "platform/classes/Gbk.h"

namespace velmora::gbk {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}

TEST(Gbk, KnownCharacters) {
  EXPECT_EQ(Decode(Bytes({0xD6, 0xD0})), U"中");
  EXPECT_EQ(Decode(Bytes({0xA3, 0xBA})), U"：");
  EXPECT_EQ(Encode(U"中：a"), Bytes({0xD6, 0xD0, 0xA3, 0xBA, 'a'}));
  EXPECT_EQ(EncodedLength(U'中'), 2);
  EXPECT_EQ(EncodedLength(U'a'), 1);
}

// Without a real table every Chinese text would show as raw bytes.
TEST(Gbk, TableCoversTheDoubleByteRange) {
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail)
      if (Decode(Bytes({lead, trail})).size() == 1) ++mapped;
  EXPECT_GT(mapped, 21000);
}

TEST(Gbk, BytesThatDoNotFormACharacterDecodeOneByOne) {
  // lead byte at the end, lead followed by an invalid trail, lone 0x80 and 0xFF
  EXPECT_EQ(Decode(Bytes({'a', 0xD6})), (std::u32string{U'a', kRawByteBase + 0xD6}));
  EXPECT_EQ(Decode(Bytes({0xD6, 0x7F})), (std::u32string{kRawByteBase + 0xD6, 0x7F}));
  EXPECT_EQ(Decode(Bytes({0xD6, '\n'})), (std::u32string{kRawByteBase + 0xD6, U'\n'}));
  EXPECT_EQ(Decode(Bytes({0x80, 0xFF})),
            (std::u32string{kRawByteBase + 0x80, kRawByteBase + 0xFF}));
  // A failed lead does not swallow a following character.
  EXPECT_EQ(Decode(Bytes({0xFF, 0xD6, 0xD0})),
            (std::u32string{kRawByteBase + 0xFF, U'中'}));
}

TEST(Gbk, EveryOneAndTwoByteStringRoundTrips) {
  for (int a = 0; a < 256; ++a) {
    std::string one = Bytes({a});
    ASSERT_EQ(Encode(Decode(one)), one) << a;
    for (int b = 0; b < 256; ++b) {
      std::string two = Bytes({a, b});
      std::u32string text = Decode(two);
      ASSERT_EQ(Encode(text), two) << a << ' ' << b;
      int length = 0;
      for (char32_t c : text) length += EncodedLength(c);
      ASSERT_EQ(length, 2) << a << ' ' << b;
      ASSERT_EQ(DecodedLengthAt(two, 0), text.size() == 1 ? 2 : 1) << a << ' ' << b;
    }
  }
}

TEST(Gbk, RandomStringsRoundTripThroughUnicodeAndUtf8) {
  std::mt19937 rng(936);
  for (int n = 0; n < 2000; ++n) {
    std::string s(rng() % 64, '\0');
    // Bias towards high bytes so that pairs, broken pairs and raw bytes mix.
    for (char& c : s) c = char(rng() % 3 ? 0x80 + rng() % 128 : rng() % 256);
    ASSERT_EQ(Encode(Decode(s)), s);
    ASSERT_EQ(FromUtf8(ToUtf8(s)), s);
  }
}

TEST(Gbk, CodePointsGbkCannotHoldBecomeQuestionMarks) {
  EXPECT_EQ(Encode(U"a\U0001F600b"), "a?b");
  EXPECT_EQ(Encode(U"\uAC00"), "?");  // Hangul
  // Only the reserved code points of non-ASCII bytes stand for bytes.
  EXPECT_EQ(Encode(std::u32string{kRawByteBase + 0x0A}), "?");
  EXPECT_EQ(Encode(std::u32string{kRawByteBase + 0xD6}), Bytes({0xD6}));
}

// What becomes "?" is named, so that a message can say which it was.
TEST(Gbk, TheFirstCharacterThatBecomesAQuestionMarkIsNamed) {
  EXPECT_EQ(NameFirstUnencodable(U"a?\u4E2D"), "");
  EXPECT_EQ(NameFirstUnencodable(U"se\u00F1or\U0001F600"), "U+00F1");
  EXPECT_EQ(NameFirstUnencodable(U"\U0001F600"), "U+1F600");
  EXPECT_EQ(NameFirstUnencodableUtf8("\xE4\xB8\xAD?"), "");
  EXPECT_EQ(NameFirstUnencodableUtf8("a\xFF\xF0\x9F\x98\x80"), "0xFF");
  EXPECT_EQ(NameFirstUnencodableUtf8("\xF0\x9F\x98\x80"), "U+1F600");
  EXPECT_EQ(NameFirstUnencodableUtf8("\xEF\xBF\xBD"), "U+FFFD");  // typed as such
}

TEST(Gbk, Utf8) {
  EXPECT_EQ(ToUtf8(Bytes({0xD6, 0xD0, 'x'})), "\xE4\xB8\xADx");
  EXPECT_EQ(FromUtf8("\xE4\xB8\xADx"), Bytes({0xD6, 0xD0, 'x'}));
  // Lone continuation, overlong, surrogate, out of range, truncated at the
  // end; a truncated sequence does not eat the character after it.
  const std::pair<std::string, std::string> broken[] = {
      {"a\x80z", "a?z"},       {"\xC0\x80", "??"},
      {"\xED\xA0\x80", "???"}, {"\xF4\x90\x80\x80", "????"},
      {"a\xE4\xB8", "a??"},    {"\xE4\xE4\xB8\xAD", Bytes({'?', 0xD6, 0xD0})}};
  for (const auto& [utf8, gbk] : broken) EXPECT_EQ(FromUtf8(utf8), gbk);
}

}  // namespace
}  // namespace velmora::gbk
