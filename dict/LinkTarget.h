// What a click on a link in the result view opens: "file://" links are made
// to point into the current folder, and a lower-cased file name finds the
// file whose name differs only in letter case.
#pragma once

#include <optional>
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

// "file://" and path, each byte of path other than letters, digits, "-._~"
// and "/" written as %XX, so that "#", "%", "?" and spaces in folder names
// reach a URL handler as part of the path. A non-empty fragment follows
// after "#", encoded the same way.
std::string FileUrl(std::string_view absolutePath, std::string_view fragment = {});

// The file that relative (UTF-8, "/"-separated; a leading "/" is still below
// folder) names below folder, as an absolute path with ".", ".." and
// symbolic links resolved and letter case resolved as ResolveLinkCase does.
// Nothing when it does not exist, is neither a regular file nor a folder, or
// lies outside folder once both are resolved: a dictionary comes from
// elsewhere, and its links must not reach the rest of the disk.
std::optional<std::string> FileInsideFolder(const std::string& folder,
                                            const std::string& relative);

// What a left click on a link (GBK text as the view holds it) opens, with
// folder the dictionary folder. A link that starts with "file://" (in any
// case) names a file of the folder: the result is that file's URL, a "#..."
// tail kept as the fragment when the name with it does not exist but the
// name before it does; nothing when FileInsideFolder finds no file. Any
// other link is returned unchanged, as UTF-8.
std::optional<std::string> LinkOpenTarget(std::string_view gbkLink,
                                          const std::string& folder);

}  // namespace velmora
