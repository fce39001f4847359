#include "dict/DictFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "dict/DictFile.h"

#ifndef VELMORA_INSTALLED_DICT_FROM_BIN
#define VELMORA_INSTALLED_DICT_FROM_BIN "../share/velmora"
#endif

namespace velmora {

namespace fs = std::filesystem;

std::string TDictFolder::Why() const {
  switch (Source) {
    case TDictFolderSource::Option:
      return "given with -C";
    case TDictFolderSource::Environment:
      return "given by $VELMORA_DICTIONARY";
    case TDictFolderSource::Current:
      return "the current folder";
    case TDictFolderSource::Installed:
      return "the installed dictionary; the current folder holds no 1.sr..5.sr";
    case TDictFolderSource::Fallback:
      return "the current folder; no installed dictionary was found either";
  }
  return {};
}

bool HoldsDictFiles(const std::string& folder) {
  for (int number = 1; number <= 5; ++number) {
    std::error_code ec;
    // A dangling link or an unreadable file still says "this is meant to be
    // a dictionary": the search then reports it as it always has.
    if (fs::exists(fs::symlink_status(fs::path(folder) / DictFileName(number), ec)))
      return true;
  }
  return false;
}

std::optional<std::string> InstalledDictFolder(const std::string& executable) {
  if (executable.empty()) return std::nullopt;
  const fs::path bin = fs::path(executable).parent_path();
  const fs::path relative(VELMORA_INSTALLED_DICT_FROM_BIN);
  std::error_code ec;
  const fs::path folder =
      fs::weakly_canonical(relative.is_absolute() ? relative : bin / relative, ec);
  if (ec || !HoldsDictFiles(folder.string())) return std::nullopt;
  return folder.string();
}

TDictFolder ChooseDictFolder(const TDictFolderInputs& inputs) {
  if (inputs.Option) return {*inputs.Option, TDictFolderSource::Option};
  if (inputs.Environment && !inputs.Environment->empty())
    return {*inputs.Environment, TDictFolderSource::Environment};
  if (HoldsDictFiles(inputs.Current)) return {inputs.Current, TDictFolderSource::Current};
  if (std::optional<std::string> installed = InstalledDictFolder(inputs.Executable))
    return {*installed, TDictFolderSource::Installed};
  return {inputs.Current, TDictFolderSource::Fallback};
}

TDictFolder ChooseDictFolder(const std::optional<std::string>& option) {
  TDictFolderInputs inputs;
  inputs.Option = option;
  if (const char* set = std::getenv("VELMORA_DICTIONARY")) inputs.Environment = set;
  std::error_code ec;
  inputs.Current = fs::current_path(ec).string();
  if (ec) inputs.Current = ".";
  inputs.Executable = fs::read_symlink("/proc/self/exe", ec).string();
  return ChooseDictFolder(inputs);
}

std::optional<std::string> StrokeDataFile(const std::string& folder, bool named) {
  std::error_code ec;
  const fs::path here = fs::path(folder) / StrokeFileName;
  if (named || fs::is_regular_file(here, ec)) return here.string();
  if (const auto installed =
          InstalledDictFolder(fs::read_symlink("/proc/self/exe", ec))) {
    const fs::path there = fs::path(*installed) / StrokeFileName;
    if (fs::is_regular_file(there, ec)) return there.string();
  }
  return std::nullopt;
}

std::string EnterDictFolder(const TDictFolder& folder) {
  std::error_code ec;
  fs::current_path(folder.Path, ec);
  if (!ec) return {};
  return "cannot enter the dictionary folder " + folder.Path + " (" + folder.Why() +
         "): " + ec.message();
}

std::string WhyCannotOpen(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular ? std::string() : "not a regular file";
}

std::vector<std::string> DictOpenFailures(const TDictFolder& folder) {
  std::vector<std::string> lines;
  int missing = 0;
  for (int number = 1; number <= 5; ++number) {
    const std::string name = DictFileName(number);
    std::string why = WhyCannotOpen(name);
    if (why.empty()) continue;
    missing += why == std::strerror(ENOENT);
    lines.push_back("cannot open " + name + " in " + folder.Path + " (" + folder.Why() +
                    "): " + why);
  }
  if (missing == 5)
    return {"no dictionary files 1.sr..5.sr in " + folder.Path + " (" + folder.Why() +
            ")"};
  return lines;
}

}  // namespace velmora
