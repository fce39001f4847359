#include "tools/common/StrokeFile.h"

#include <filesystem>

#include "dict/DictFolder.h"

namespace velmora::tools {

const char StrokeFileName[] = "strokes.bin";

std::string StrokeDataFile(const std::optional<std::string>& option, std::string& why) {
  namespace fs = std::filesystem;
  const TDictFolder folder = ChooseDictFolder(option);
  const fs::path chosen = fs::path(folder.Path) / StrokeFileName;
  why = folder.Path + " (" + folder.Why() + ")";
  std::error_code ec;
  if (option || fs::is_regular_file(chosen, ec)) return chosen.string();
  if (const auto installed = InstalledDictFolder(fs::read_symlink("/proc/self/exe", ec)))
    if (fs::is_regular_file(fs::path(*installed) / StrokeFileName, ec))
      return (fs::path(*installed) / StrokeFileName).string();
  return {};
}

}  // namespace velmora::tools
