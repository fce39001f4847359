// What a learner types, read as meant, for the extended search only (the
// standard search reads the box as it stands).
//
// - Full-width letters and digits (ｄｏｇ, ９９６), ？, ＊ and ＇ are their
//   plain forms; so are the ideographic space and the curly apostrophes
//   (Xi’an).
// - Tone marks typed as combining characters (zho + U+0304 + ng) are
//   composed, and capital tone-marked vowels (Àomén, ZHŌNGGUÓ) lowered:
//   GBK holds only the lower-case composed vowels of pinyin, and the
//   reading search ignores case anyway. Only the vowels of pinyin are
//   composed; other marks are left as they are.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The query in GBK with the forms GBK can hold made plain.
std::string PlainQuery(std::string_view gbk);

// The query as typed, before its conversion to GBK: everything PlainQuery
// does, and the composing and lowering of tone-marked vowels, which GBK
// cannot carry. Apply it before converting.
std::u32string PlainQuery(std::u32string_view text);

}  // namespace velmora
