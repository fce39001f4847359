// What a click on a link in the result view opens: "file://" links are made
// to point into the current folder, and a lower-cased file name finds the
// file whose name differs only in letter case.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// "file://" + folder + "/". The folder has no trailing separator except at
// the root, which therefore gives two.
std::string FileLinkPrefix(const std::string& folder);

// Replaces every "file://" in a link (GBK), without regard to case and only
// where it starts on a character boundary, by prefix. The prefix is a file
// system path and may hold letters GBK cannot, so the result is UTF-8.
// Replacements are not searched again. count, if given, receives how many
// were replaced.
std::string RewriteFileLinks(std::string_view gbkLink, std::string_view utf8Prefix,
                             int* count = nullptr);

// relative (UTF-8, "/"-separated) names a file below folder. Where a part of
// it does not exist as written, takes the one entry of its folder whose name
// matches it without regard to ASCII letter case. Explanations are shown
// lower-cased, so links arrive that way; on a case-sensitive file system they
// would otherwise miss. Returns relative unchanged when it exists, or when a
// part has no match or several.
std::string ResolveLinkCase(const std::string& folder, const std::string& relative);

}  // namespace velmora
