// Which folder the dictionary is read from. The window and every tool choose
// it the same way: a folder given on the command line (-C DIR), then
// $VELMORA_DICTIONARY, then the current folder when it holds any of
// 1.sr..5.sr, then the dictionary installed beside the program. The search
// opens its files relative to the current folder, so callers enter the
// folder chosen before the first search.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

enum class TDictFolderSource {
  Option,       // -C DIR
  Environment,  // $VELMORA_DICTIONARY
  Current,      // the current folder holds dictionary files
  Installed,    // the dictionary installed with the program
  Fallback,     // none of the above: the current folder, as it is
};

struct TDictFolder {
  std::string Path;  // as given, or absolute for the current and installed ones
  TDictFolderSource Source = TDictFolderSource::Fallback;
  // Why this folder was chosen, in words for a message ("given with -C").
  std::string Why() const;
};

// What the choice depends on, so that tests can set each part.
struct TDictFolderInputs {
  std::optional<std::string> Option;       // -C DIR
  std::optional<std::string> Environment;  // $VELMORA_DICTIONARY; empty is unset
  std::string Current;                     // the current folder
  std::string Executable;                  // the running program's own file
};

// True when folder holds any of 1.sr..5.sr (of whatever kind: a folder that
// names them is a dictionary folder, even one the search cannot read).
bool HoldsDictFiles(const std::string& folder);

// The installed dictionary folder for a program file: share/velmora beside
// its bin folder, as the install lays them out. Nothing when that folder
// holds no dictionary file.
std::optional<std::string> InstalledDictFolder(const std::string& executable);

TDictFolder ChooseDictFolder(const TDictFolderInputs& inputs);
// The same for this process: option from the command line, the variable from
// the environment, the current folder and /proc/self/exe.
TDictFolder ChooseDictFolder(const std::optional<std::string>& option);

// The stroke-order data kept beside a dictionary.
inline constexpr const char* StrokeFileName = "strokes.bin";

// Where the stroke-order data of the dictionary in folder is: in the folder
// when it is a regular file there, or whatever stands there when the user
// named the folder (opening it then says what is wrong); else the one
// installed with the program when that is a regular file (a dictionary of
// the user's own may come without strokes); none otherwise.
std::optional<std::string> StrokeDataFile(const std::string& folder, bool named = false);

// Makes the folder the current one; an error message naming the folder and
// the system's reason, or empty on success.
std::string EnterDictFolder(const TDictFolder& folder);

// Why fileName (relative to the current folder) cannot be opened for reading,
// in the system's words ("No such file or directory", "Permission denied",
// "not a regular file"); empty when it can be.
std::string WhyCannotOpen(const std::string& fileName);

// The lines for standard error when the search could not open its files in
// the folder (the current one): one for each of 1.sr..5.sr that cannot be
// opened, naming it, the folder and the system's reason, or one line when
// none of them is there.
std::vector<std::string> DictOpenFailures(const TDictFolder& folder);

}  // namespace velmora
