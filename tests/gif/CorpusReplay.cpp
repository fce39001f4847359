// Loads every file of the fuzzing corpus: each must load or raise
// GIFException; anything else escaping (or a sanitizer report) fails.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "gif/GIFImage.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  int files = 0, failures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) continue;
    ++files;
    try {
      velmora::TMemoryStream stream;
      stream.LoadFromFile(entry.path().string());
      velmora::TGIFImage image;
      image.LoadFromStream(stream);
    } catch (const velmora::GIFException&) {
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", entry.path().c_str(), e.what());
      ++failures;
    }
  }
  std::printf("%d files, %d failures\n", files, failures);
  return files > 0 && failures == 0 ? 0 : 1;
}
