#include "tools/common/StrokeFile.h"

#include "dict/DictFolder.h"

namespace velmora::tools {

std::string StrokeDataFile(const std::optional<std::string>& option, std::string& why) {
  const TDictFolder folder = ChooseDictFolder(option);
  why = folder.Path + " (" + folder.Why() + ")";
  return velmora::StrokeDataFile(folder.Path, bool(option)).value_or("");
}

}  // namespace velmora::tools
