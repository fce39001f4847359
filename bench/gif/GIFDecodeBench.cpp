// Decoding time of TGIFImage::LoadFromStream against giflib's DGifSlurp on
// the same in-memory GIFs, written by our writer. Prints each file's median
// times and their ratio (ours / giflib); below 1.0 we are faster.
//
//   velmora-gif-bench [rounds]
//
// With --whole-process, whole processes instead: `TOOL info FILE` against
// this program decoding FILE with giflib (--giflib FILE), start-up, reading
// the file and all included, on the files above (written to a temporary
// folder) and any given, with their geometric mean. Built with Wuffs
// (cmake -DVELMORA_WUFFS=wuffs-v0.N.c), it times Wuffs's decoder as well
// (velmora-wuffs-decode FILE) and gives both ratios; with WUFFS_OUTPUT=bgra
// in the environment, Wuffs composes 32-bit pixels instead of indices.
//
//   velmora-gif-bench --whole-process TOOL [rounds] [FILE.gif...]
//   velmora-gif-bench --write DIR       (the four files, for profiling)
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/ProcessTime.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/gif/GiflibMemory.h"

using namespace velmora;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kW = 1920, kH = 1080;

// Smooth gradients plus a little noise, as in photos reduced to 256 colours:
// LZW gets strings of a few pixels, not runs.
void Paint(TGIFSubImage& frame, std::uint32_t seed, int phase) {
  std::mt19937 rng(seed);
  const int w = frame.GetWidth(), h = frame.GetHeight();
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = frame.GetScanline(y);
    for (int x = 0; x < w; ++x) {
      int v = (x + phase) / 9 + y / 7 + int(rng() % 4);
      row[x] = std::uint8_t(v & 0xFF);
    }
  }
}

void Screen(TGIFImage& image) {
  image.Header->LogicalScreenDescriptor.ScreenWidth = kW;
  image.Header->LogicalScreenDescriptor.ScreenHeight = kH;
  for (int i = 0; i < 256; ++i)
    image.GetColorMap()->Add(
        RGB(std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)));
}

Bytes Save(TGIFImage& image) {
  TMemoryStream s;
  image.SaveToStream(s);
  return s.Bytes();
}

Bytes Still(bool interlaced) {
  TGIFImage image;
  Screen(image);
  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  frame->SetBounds(0, 0, kW, kH);
  frame->SetInterlaced(interlaced);
  Paint(*frame, 1, 0);
  return Save(image);
}

Bytes Animation() {
  TGIFImage image;
  Screen(image);
  for (int i = 0; i < 30; ++i) {
    auto* frame = new TGIFSubImage(&image);
    image.Images->Add(frame);
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->Extensions->Add(gce);
    gce->SetDelay(4);
    if (i == 0) {
      auto* loop = new TGIFAppExtNSLoop(frame);
      frame->Extensions->Insert(0, loop);
      frame->SetBounds(0, 0, kW, kH);
    } else {
      // A moving region of changing size, as an optimiser leaves them.
      int w = 400 + (i * 97) % 900, h = 200 + (i * 53) % 600;
      frame->SetBounds((i * 61) % (kW - w), (i * 37) % (kH - h), w, h);
    }
    Paint(*frame, std::uint32_t(i + 2), i * 5);
  }
  return Save(image);
}

// A screen recording of a window scrolling through a listing, made here
// rather than captured: a full first frame (title bar, side panel, text),
// then the listing's rectangle, three lines further down each time. Flat
// background and a few colours of text, as screen captures are: LZW gets
// long strings.
constexpr int kScreenW = 1280, kScreenH = 720, kListLeft = 220, kListTop = 40;
constexpr int kLine = 16, kCell = 8;

// A glyph's pixel (x < kCell, y < kLine): a few strokes of a made-up font,
// with a lighter edge, as antialiased text has.
std::uint8_t Glyph(int glyph, int x, int y) {
  if (glyph == 0 || x == kCell - 1 || y < 2 || y > 13) return 250;  // background
  const std::uint32_t bits = std::uint32_t(glyph) * 2654435761u;
  const bool vertical = (bits >> (x % 4 + 4)) & 1,
             horizontal = (bits >> (y % 6 + 10)) & 1;
  if (vertical && (x == 1 || x == 5) && y >= 3) return 4;
  if (horizontal && x >= 1 && x <= 5 && (y == 3 || y == 8 || y == 12)) return 4;
  if (vertical && (x == 2 || x == 4) && y >= 3) return 120;
  return 250;
}

// The glyph at column `col` of listing line `line`: words and spaces, lines
// of varying length, the same for a line wherever it is scrolled to.
int GlyphAt(int line, int col) {
  std::uint32_t h = std::uint32_t(line) * 2246822519u + 3266489917u;
  const int length = 20 + int((h >> 7) % 100);
  if (col >= length) return 0;
  h ^= std::uint32_t(col / 6) * 668265263u;
  h ^= h >> 15;
  if ((col + int(h % 5)) % 7 == 0) return 0;  // between words
  return 1 + int((h * 31u + std::uint32_t(col)) % 90);
}

void PaintListing(TGIFSubImage& frame, int scroll) {
  const int w = frame.GetWidth(), h = frame.GetHeight();
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = frame.GetScanline(y);
    const int line = (y + scroll) / kLine, inLine = (y + scroll) % kLine;
    const bool selected = line % 23 == 7;
    for (int x = 0; x < w; ++x) {
      const std::uint8_t g = Glyph(GlyphAt(line, x / kCell), x % kCell, inLine);
      row[x] = selected && g == 250 ? 200 : g;
    }
  }
}

Bytes ScreenRecording() {
  TGIFImage image;
  Screen(image);
  image.Header->LogicalScreenDescriptor.ScreenWidth = kScreenW;
  image.Header->LogicalScreenDescriptor.ScreenHeight = kScreenH;
  for (int i = 0; i < 30; ++i) {
    auto* frame = new TGIFSubImage(&image);
    image.Images->Add(frame);
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->Extensions->Add(gce);
    gce->SetDelay(10);
    if (i > 0) {
      frame->SetBounds(kListLeft, kListTop, kScreenW - kListLeft, kScreenH - kListTop);
      PaintListing(*frame, i * 3 * kLine);
      continue;
    }
    frame->Extensions->Insert(0, new TGIFAppExtNSLoop(frame));
    frame->SetBounds(0, 0, kScreenW, kScreenH);
    for (int y = 0; y < kScreenH; ++y) {
      std::uint8_t* row = frame->GetScanline(y);
      for (int x = 0; x < kScreenW; ++x)
        row[x] =
            y < kListTop ? (y < 2 || y > kListTop - 3 ? 60 : 30)
            : x < kListLeft
                ? (x == kListLeft - 1 ? 60
                   : Glyph(GlyphAt(1000 + (y - kListTop) / (2 * kLine), x / kCell % 16),
                           x % kCell, y % kLine) == 4
                       ? 4
                       : 240)
                : 250;
    }
    auto* listing = frame->Data.get();
    for (int y = kListTop; y < kScreenH; ++y)
      for (int x = kListLeft; x < kScreenW; ++x) {
        const int ly = y - kListTop, lx = x - kListLeft;
        listing[y * kScreenW + x] =
            Glyph(GlyphAt(ly / kLine, lx / kCell), lx % kCell, ly % kLine);
      }
  }
  return Save(image);
}

// Decodes with giflib; returns the frames' pixels for the cross-check.
std::vector<Bytes> GiflibDecode(const Bytes& data) {
  std::optional<std::vector<Bytes>> frames = giflibmem::Frames(data);
  if (!frames) {
    std::fprintf(stderr, "giflib failed to decode\n");
    std::exit(2);
  }
  return *frames;
}

std::vector<Bytes> OurDecode(const Bytes& data) {
  TReadOnlyMemoryStream stream(data.data(), data.size());
  TGIFImage image;
  image.LoadFromStream(stream);
  std::vector<Bytes> frames;
  for (int i = 0; i < image.Images->GetCount(); ++i) {
    const TGIFSubImage& f = *image.Images->GetImage(i);
    frames.emplace_back(f.Data.get(), f.Data.get() + f.DataSize);
  }
  return frames;
}

double Seconds(void (*fn)(const Bytes&), const Bytes& data) {
  auto t0 = std::chrono::steady_clock::now();
  fn(data);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void TimeGiflib(const Bytes& data) {
  giflibmem::MemReader reader{&data, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, giflibmem::ReadMem, &error);
  DGifSlurp(gif);
  DGifCloseFile(gif, &error);
}

void TimeOurs(const Bytes& data) {
  TReadOnlyMemoryStream stream(data.data(), data.size());
  TGIFImage image;
  image.LoadFromStream(stream);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs argv with its output thrown away; its wall time in seconds, or -1
// when it fails.
double RunProcess(const std::vector<std::string>& args) {
  const auto t = bench::RunProcess(args);
  return t ? t->WallMs / 1e3 : -1;
}

int GiflibFile(const char* path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path, &error);
  if (!gif) return 2;
  const int ok = DGifSlurp(gif);
  DGifCloseFile(gif, &error);
  return ok == GIF_OK ? 0 : 2;
}

int WholeProcess(int argc, char** argv) {
  const std::string tool = argv[2];
  int rounds = 15, first = 3;
  if (argc > 3 && std::atoi(argv[3]) > 0) rounds = std::atoi(argv[first++]);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("velmora-gif-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::pair<std::string, std::string>> files;  // name, path
  auto write = [&](const char* name, const Bytes& data) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    files.emplace_back(name, path);
  };
  write("still.gif", Still(false));
  write("interlaced.gif", Still(true));
  write("animation.gif", Animation());
  write("screen.gif", ScreenRecording());
  for (int i = first; i < argc; ++i)
    files.emplace_back(std::filesystem::path(argv[i]).filename().string(), argv[i]);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
#ifdef WUFFS_DECODE
  const std::string wuffs = WUFFS_DECODE;
#else
  const std::string wuffs;
#endif
  // WUFFS_OUTPUT=bgra: Wuffs composes 32-bit pixels, as a viewer shows them,
  // instead of its fastest output, 8-bit indices.
  const char* output = std::getenv("WUFFS_OUTPUT");
  const bool bgra = output && std::strcmp(output, "bgra") == 0;
  std::printf("%-24s %10s %9s %9s %9s %9s %9s\n", "file (whole process)", "bytes",
              "info ms", "giflib ms", "wuffs ms", "/giflib", "/wuffs");
  double logGiflib = 0, logWuffs = 0;
  int status = 0;
  for (const auto& [name, path] : files) {
    std::vector<double> ours, theirs, peer;
    for (int r = 0; r < rounds; ++r) {
      // Taking turns, so that all three see the same load on a shared machine.
      ours.push_back(RunProcess({tool, "info", path}));
      theirs.push_back(RunProcess({self, "--giflib", path}));
      if (!wuffs.empty())
        peer.push_back(RunProcess(bgra ? std::vector<std::string>{wuffs, "--bgra", path}
                                       : std::vector<std::string>{wuffs, path}));
    }
    auto failed = [](const std::vector<double>& t) {
      return !t.empty() && *std::min_element(t.begin(), t.end()) < 0;
    };
    if (failed(ours) || failed(theirs) || failed(peer)) {
      std::fprintf(stderr, "%s: a decoder failed\n", path.c_str());
      status = 2;
      continue;
    }
    const double a = Median(ours), b = Median(theirs);
    logGiflib += std::log(a / b);
    std::printf("%-24s %10llu %9.2f %9.2f", name.c_str(),
                (unsigned long long)std::filesystem::file_size(path), a * 1e3, b * 1e3);
    if (peer.empty()) {
      std::printf(" %9s %9.3f %9s\n", "-", a / b, "-");
      continue;
    }
    const double c = Median(peer);
    logWuffs += std::log(a / c);
    std::printf(" %9.2f %9.3f %9.3f\n", c * 1e3, a / b, a / c);
  }
  const double n = double(files.size());
  if (wuffs.empty())
    std::printf("%-24s %10s %9s %9s %9s %9.3f %9s\n", "geometric mean", "", "", "", "",
                std::exp(logGiflib / n), "-");
  else
    std::printf("%-24s %10s %9s %9s %9s %9.3f %9.3f\n", "geometric mean", "", "", "", "",
                std::exp(logGiflib / n), std::exp(logWuffs / n));
  std::filesystem::remove_all(dir);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--giflib") == 0) return GiflibFile(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
    for (auto [name, data] :
         {std::pair{"still.gif", Still(false)}, std::pair{"interlaced.gif", Still(true)},
          std::pair{"animation.gif", Animation()},
          std::pair{"screen.gif", ScreenRecording()}})
      std::ofstream(std::filesystem::path(argv[2]) / name, std::ios::binary)
          .write(reinterpret_cast<const char*>(data.data()),
                 std::streamsize(data.size()));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--whole-process") == 0)
    return WholeProcess(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  struct File {
    const char* name;
    Bytes data;
  };
  std::vector<File> files = {{"still 1920x1080, 256 colours", Still(false)},
                             {"same, interlaced", Still(true)},
                             {"30 frames, partial", Animation()},
                             {"screen recording, 30 frames", ScreenRecording()}};
  std::printf("%-30s %10s %12s %12s %7s\n", "file", "bytes", "ours ms", "giflib ms",
              "ratio");
  for (const File& f : files) {
    if (OurDecode(f.data) != GiflibDecode(f.data)) {
      std::fprintf(stderr, "%s: pixels differ from giflib's\n", f.name);
      return 2;
    }
    std::vector<double> ours, theirs;
    for (int r = 0; r < rounds; ++r) {
      // Alternate, so that both see the same load on a shared machine.
      ours.push_back(Seconds(TimeOurs, f.data));
      theirs.push_back(Seconds(TimeGiflib, f.data));
    }
    const double a = Median(ours), b = Median(theirs);
    std::printf("%-30s %10zu %12.2f %12.2f %7.3f\n", f.name, f.data.size(), a * 1e3,
                b * 1e3, a / b);
  }
  return 0;
}
