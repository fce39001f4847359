// Where the tools find the stroke data: in the dictionary's folder, chosen
// as for the dictionary, else in the installed data.
#pragma once

#include <optional>
#include <string>

namespace velmora::tools {

// StrokeFileName in the folder named with -C (option), else in the dictionary
// folder chosen as the dictionary is, else the installed one. Empty when
// there is none; why then names the folder looked in and why it was chosen.
std::string StrokeDataFile(const std::optional<std::string>& option, std::string& why);

}  // namespace velmora::tools
