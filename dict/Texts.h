// The search's own texts, as GBK bytes.
#pragma once

#include <string_view>

namespace velmora::texts {

// 请输入正确搜寻字符串
inline constexpr std::string_view kInvalidQuery =
    "\xC7\xEB\xCA\xE4\xC8\xEB\xD5\xFD\xC8\xB7\xCB\xD1\xD1\xB0\xD7\xD6\xB7\xFB\xB4\xAE";
// 开启辞典失败，请检查sr档案是否存在
inline constexpr std::string_view kOwnFileMissing =
    "\xBF\xAA\xC6\xF4\xB4\xC7\xB5\xE4\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xBC\xEC\xB2\xE9"
    "sr"
    "\xB5\xB5\xB0\xB8\xCA\xC7\xB7\xF1\xB4\xE6\xD4\xDA";
// 开启辞典失败, followed by the file's name
inline constexpr std::string_view kFileMissing =
    "\xBF\xAA\xC6\xF4\xB4\xC7\xB5\xE4\xCA\xA7\xB0\xDC";
// 您所查询的 「 ... 」相关内容：
inline constexpr std::string_view kHeadingBefore =
    "\xC4\xFA\xCB\xF9\xB2\xE9\xD1\xAF\xB5\xC4 \xA1\xB8";
inline constexpr std::string_view kHeadingAfter =
    "\xA1\xB9\xCF\xE0\xB9\xD8\xC4\xDA\xC8\xDD\xA3\xBA";
// 搜寻中请稍候......\n
inline constexpr std::string_view kSearching =
    "\xCB\xD1\xD1\xB0\xD6\xD0\xC7\xEB\xC9\xD4\xBA\xF2......\n";
// 搜寻完毕!
inline constexpr std::string_view kFinished = "\xCB\xD1\xD1\xB0\xCD\xEA\xB1\xCF!";
// 搜寻停止! (written by the stop command)
inline constexpr std::string_view kStopped = "\xCB\xD1\xD1\xB0\xCD\xA3\xD6\xB9!";
// 您查询的词没有收录！\n请上网使用最新版本。\n and the page where the newest
// dictionary data (CC-CEDICT, which the bundled dictionary is made from) is
// published
inline constexpr std::string_view kNotFound =
    "\xC4\xFA\xB2\xE9\xD1\xAF\xB5\xC4\xB4\xCA\xC3\xBB\xD3\xD0\xCA\xD5\xC2\xBC\xA3\xA1\n"
    "\xC7\xEB\xC9\xCF\xCD\xF8\xCA\xB9\xD3\xC3\xD7\xEE\xD0\xC2\xB0\xE6\xB1\xBE\xA1\xA3\n"
    "https://www.mdbg.net/chinese/dictionary?page=cedict";
// 查询含有 GBK 无法表示的字符：followed by the character's name (U+00F1), or
// by a byte's (0xFF) when the query was no UTF-8
inline constexpr std::string_view kUnencodableQuery =
    "\xB2\xE9\xD1\xAF\xBA\xAC\xD3\xD0 GBK "
    "\xCE\xDE\xB7\xA8\xB1\xED\xCA\xBE\xB5\xC4\xD7\xD6\xB7\xFB\xA3\xBA";
// 拼音还没打完，请继续输入 (the extended search, for letters that are
// still the beginning of a reading and match nothing yet)
inline constexpr std::string_view kMoreLetters =
    "\xC6\xB4\xD2\xF4\xBB\xB9\xC3\xBB\xB4\xF2\xCD\xEA\xA3\xAC\xC7\xEB\xBC\xCC\xD0\xF8"
    "\xCA\xE4\xC8\xEB";
// Put before each explanation.
inline constexpr std::string_view kIndent = "      ";

}  // namespace velmora::texts
