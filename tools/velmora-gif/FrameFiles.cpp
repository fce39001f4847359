#include "tools/velmora-gif/FrameFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

namespace velmora::gifTool {

bool CheckFileAndFolder(const char* command, const std::string& path,
                        const std::string& dir, std::ostream& err) {
  // A folder opens for reading too; it is named as the reason.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  const int error = fd < 0                                         ? errno
                    : ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR
                                                                   : 0;
  if (fd >= 0) ::close(fd);
  if (error) {
    err << "velmora-gif " << command << ": cannot open '" << path
        << "': " << std::strerror(error) << "\n";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    err << "velmora-gif " << command << ": cannot create directory '" << dir << "'\n";
    return false;
  }
  return true;
}

void LoadGif(const char* command, const std::string& path, TGIFImage& image,
             std::ostream& err) {
  // A damaged file is still drawn as far as it goes; the warnings say why
  // the picture may look wrong. The same text for every frame is said once.
  auto seen = std::make_shared<std::set<std::string>>();
  image.OnWarning = [command, path, seen, &err](void*, TGIFSeverity severity,
                                                const std::string& message) {
    if (severity == gsError || !seen->insert(message).second) return;
    err << "velmora-gif " << command << ": " << path << ": warning: " << message << "\n";
  };
  const TFileBytes bytes = ReadFileBytes(path);
  TReadOnlyMemoryStream stream(bytes.Data.get(), bytes.Size);
  image.LoadFromStream(stream);
}

void ChargeImageMemory(TGIFImage& image, TMemoryCharge& charge, std::int64_t bytes) {
  if (charge.Take(image.Memory, bytes)) return;
  // The frames' cached bitmaps make room, if there are any.
  if (!image.DropFrameBitmaps() || !charge.Take(image.Memory, bytes))
    Error(_sPixelMemoryExceeded);
}

std::string NumberedPng(const std::string& dir, const char* stem, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "%s_%03d.png", stem, index);
  return (std::filesystem::path(dir) / name).string();
}

std::vector<std::uint8_t> RgbRows(TGIFImage& image, const TBitmap& bitmap,
                                  TMemoryCharge& charge) {
  if (bitmap.GetPixelFormat() != TPixelFormat::pf32bit) {
    TGIFMemoryScope memory(&image);
    TBitmap copy;
    copy.Assign(bitmap);
    copy.SetPixelFormat(TPixelFormat::pf32bit);
    return RgbRows(image, copy, charge);
  }
  const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
  ChargeImageMemory(image, charge, std::int64_t(w) * h * 3);
  std::vector<std::uint8_t> rows;
  rows.reserve(std::size_t(w) * std::size_t(h) * 3);
  for (int y = 0; y < h; ++y) {
    const auto* p = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < w; ++x, p += 4) rows.insert(rows.end(), {p[2], p[1], p[0]});
  }
  return rows;
}

}  // namespace velmora::gifTool
