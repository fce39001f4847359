// The entries of given keys, found by one sweep of 1.sr..5.sr: each line's
// key is looked up among the keys asked for. For the few keys of a word
// list or of one entry shown, without an index of every key.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TDictImages;

struct TKeyEntry {
  int File = 0;             // 1..5
  std::string Explanation;  // as the file has it (a CR before the line feed dropped)
};

// keys: GBK, without the separator. The entries of each key found, in the
// order of the files; a key without entries is not in the map.
std::map<std::string, std::vector<TKeyEntry>, std::less<>> EntriesOfKeys(
    const std::set<std::string, std::less<>>& keys, TDictImages& images);

}  // namespace velmora
