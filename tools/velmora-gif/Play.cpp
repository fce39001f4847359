// velmora-gif play: plays an animation through the painter onto an
// off-screen canvas under a virtual clock and writes every painted state.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gif/render/GIFPainter.h"
#include "gif/render/GIFRender.h"
#include "tools/velmora-gif/GifCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {

namespace {

void PlayUsage(std::ostream& out) {
  out << "Usage: velmora-gif play FILE OUTDIR [--background RRGGBB] [--loops N]\n"
         "Plays the animation with the default draw options onto a canvas of the\n"
         "logical screen's size filled with the background colour (default\n"
         "FFFFFF), as fast as the machine allows. Each painted canvas state is\n"
         "written as OUTDIR/frame_NNN.png, and OUTDIR/timeline.json lists\n"
         "[{\"frame\": index, \"wait_ms\": n}, ...], the frame painted and the wait\n"
         "the painter computed before it (0 for the first). Plays one pass, or N\n"
         "passes with --loops N. OUTDIR is created when missing.\n"
         "Exit status 0 on success, 2 when the file can't be read or decoded, it\n"
         "can't be painted, an argument is wrong or an output file can't be\n"
         "written.\n";
}

bool ParseColor(const std::string& text, TColor& color) {
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != text.npos)
    return false;
  const unsigned long v = std::stoul(text, nullptr, 16);
  color = RGB(std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v));
  return true;
}

bool ParseCount(const std::string& text, int& n) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != text.npos)
    return false;
  n = std::stoi(text);
  return n >= 1;
}

std::vector<std::uint8_t> RgbRows(TBitmap& bitmap) {
  const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
  std::vector<std::uint8_t> rows;
  rows.reserve(std::size_t(w) * std::size_t(h) * 3);
  for (int y = 0; y < h; ++y) {
    const auto* p = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < w; ++x, p += 4) rows.insert(rows.end(), {p[2], p[1], p[0]});
  }
  return rows;
}

// Virtual time: a wait passes at once and moves the clock by exactly its
// length, so the painter computes the nominal waits.
struct VirtualClock {
  std::atomic<std::uint32_t> now{0};
  VirtualClock() {
    TGIFPainterClock& clock = GIFPainterClock();
    clock.Now = [this] { return now.load(); };
    clock.Sleep = [this](std::uint32_t ms) { now += ms; };
    clock.Wait = [this](TEvent& wake, std::uint32_t ms) {
      if (wake.WaitFor(0) == TWaitResult::wrSignaled) return TWaitResult::wrSignaled;
      if (ms != INFINITE) now += ms;
      return TWaitResult::wrTimeout;
    };
  }
  ~VirtualClock() { ResetGIFPainterClock(); }
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;
};

}  // namespace

int Play(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PlayUsage(out);
    return 0;
  }
  std::vector<std::string> positional;
  TColor background = clWhite;
  int passes = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--background" || args[i] == "--loops") {
      if (i + 1 >= args.size()) {
        err << "velmora-gif play: " << args[i] << " needs a value\n";
        return 2;
      }
      const std::string& value = args[++i];
      if (args[i - 1] == "--background" ? !ParseColor(value, background)
                                        : !ParseCount(value, passes)) {
        err << "velmora-gif play: bad value '" << value << "' for " << args[i - 1]
            << "\n";
        return 2;
      }
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    err << "velmora-gif play: expected FILE and OUTDIR (try velmora-gif play --help)\n";
    return 2;
  }
  const std::string& path = positional[0];
  const std::string& dir = positional[1];
  if (!std::ifstream(path, std::ios::binary)) {
    err << "velmora-gif play: cannot open '" << path << "'\n";
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    err << "velmora-gif play: cannot create directory '" << dir << "'\n";
    return 2;
  }

  try {
    TGIFImage image;
    {
      TFileStream stream(path, TFileMode::fmOpenRead);
      image.LoadFromStream(stream);
    }
    if (image.GetEmpty() || image.GetWidth() == 0 || image.GetHeight() == 0) {
      err << "velmora-gif play: " << path << ": nothing to play\n";
      return 2;
    }
    TBitmap canvas;
    canvas.SetPixelFormat(TPixelFormat::pf32bit);
    canvas.SetSize(image.GetWidth(), image.GetHeight());
    canvas.GetCanvas().SetBrushColor(background);
    canvas.GetCanvas().FillRect(Rect(0, 0, image.GetWidth(), image.GetHeight()));

    // The painter hands over the error that ended it when it signs off.
    std::string painterError;
    image.OnWarning = [&](void*, TGIFSeverity severity, const std::string& message) {
      if (severity == gsError && painterError.empty()) painterError = message;
    };
    VirtualClock clock;
    std::ostringstream timeline;
    int painted = 0, pass = 1;
    bool failed = false;
    timeline << "[";
    image.OnAfterFrame = [&](void* sender) {
      auto* painter = static_cast<TGIFPainter*>(sender);
      char name[32];
      std::snprintf(name, sizeof name, "frame_%03d.png", painted);
      const std::string file = (std::filesystem::path(dir) / name).string();
      if (!WritePng(file, canvas.GetWidth(), canvas.GetHeight(), PngColor::Rgb,
                    RgbRows(canvas))) {
        err << "velmora-gif play: cannot write '" << file << "'\n";
        failed = true;
        painter->Stop();
        return;
      }
      out << file << "\n";
      // A still picture is drawn once, without a wait.
      const std::uint32_t wait = painted == 0 ? 0 : painter->LastWait.load();
      timeline << (painted ? ", " : "") << "{\"frame\": " << painter->GetActiveImage()
               << ", \"wait_ms\": " << wait << "}";
      ++painted;
    };
    image.OnNextLoop = [&](void* sender) {
      if (++pass > passes) static_cast<TGIFPainter*>(sender)->Stop();
    };
    // The default options, repeating so that --loops decides the passes.
    const TGIFDrawOptions options =
        image.DrawOptions | GIFDrawOptionBit(goAsync) | GIFDrawOptionBit(goAnimate) |
        GIFDrawOptionBit(goLoop) | GIFDrawOptionBit(goLoopContinously);
    image.Paint(canvas.GetCanvas(), Rect(0, 0, canvas.GetWidth(), canvas.GetHeight()),
                options);
    for (;;) {
      {
        std::lock_guard lock(image.PaintersLock);
        if (image.Painters.empty()) break;
      }
      CheckSynchronize(10);
    }
    timeline << "]\n";
    if (failed) return 2;
    if (!painterError.empty()) {
      err << "velmora-gif play: " << path << ": " << painterError << "\n";
      return 2;
    }
    const std::string json = (std::filesystem::path(dir) / "timeline.json").string();
    const std::string text = timeline.str();
    if (!WriteFile(json, std::vector<std::uint8_t>(text.begin(), text.end()))) {
      err << "velmora-gif play: cannot write '" << json << "'\n";
      return 2;
    }
    out << json << "\n";
  } catch (const std::exception& e) {
    err << "velmora-gif play: " << path << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
