// velmora-gif play: plays an animation through the painter onto an
// off-screen canvas under a virtual clock and writes every painted state.
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <sstream>

#include "gif/render/GIFPainter.h"
#include "gif/render/GIFRender.h"
#include "tools/velmora-gif/FrameFiles.h"
#include "tools/velmora-gif/GIFCommands.h"
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
         "The decoder's warnings (a file cut short, say) go to standard error;\n"
         "the animation is played all the same, as far as the data goes.\n"
         "Exit status 0 when it was played, warnings or not; 2 when the file can't\n"
         "be read or decoded, it can't be painted, the picture needs more memory\n"
         "than the limit for one picture (512 MiB, the canvas included), an\n"
         "argument is wrong or an output file can't be written.\n";
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

struct PlaySettings {
  std::string path;
  std::string dir;
  TColor background = clWhite;
  int passes = 1;
};

// Reads play's arguments (all but --help). False after saying what is wrong.
bool ParsePlayArgs(const Args& args, PlaySettings& settings, std::ostream& err) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--background" || args[i] == "--loops") {
      if (i + 1 >= args.size()) {
        err << "velmora-gif play: " << args[i] << " needs a value\n";
        return false;
      }
      const std::string& value = args[++i];
      if (args[i - 1] == "--background" ? !ParseColor(value, settings.background)
                                        : !ParseCount(value, settings.passes)) {
        err << "velmora-gif play: bad value '" << value << "' for " << args[i - 1]
            << "\n";
        return false;
      }
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    err << "velmora-gif play: expected FILE and OUTDIR (try velmora-gif play --help)\n";
    return false;
  }
  settings.path = positional[0];
  settings.dir = positional[1];
  return true;
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

// A 32-bit canvas of the image's logical screen, filled with background.
void PrepareCanvas(TBitmap& canvas, TGIFImage& image, TColor background) {
  canvas.SetPixelFormat(TPixelFormat::pf32bit);
  canvas.SetSize(image.GetWidth(), image.GetHeight());
  canvas.GetCanvas().SetBrushColor(background);
  canvas.GetCanvas().FillRect(Rect(0, 0, image.GetWidth(), image.GetHeight()));
}

// Writes each painted state of the canvas as a numbered PNG and keeps the
// timeline of the painter's waits.
class Recording {
 public:
  Recording(const std::string& dir, TGIFImage& image, const TBitmap& canvas,
            std::ostream& out, std::ostream& err)
      : dir_(dir), image_(image), canvas_(canvas), out_(out), err_(err) {}

  // After each frame: a PNG of the canvas. A file that can't be written
  // stops the painter.
  void FramePainted(TGIFPainter& painter) {
    const std::string file = NumberedPng(dir_, "frame", painted_);
    TMemoryCharge rows;
    std::string why;
    if (!WritePng(file, canvas_.GetWidth(), canvas_.GetHeight(), PngColor::Rgb,
                  RgbRows(image_, canvas_, rows), &why)) {
      err_ << "velmora-gif play: cannot write '" << file << "': " << why << "\n";
      failed_ = true;
      painter.Stop();
      return;
    }
    out_ << file << "\n";
    // A still picture is drawn once, without a wait.
    const std::uint32_t wait = painted_ == 0 ? 0 : painter.LastWait.load();
    timeline_ << (painted_ ? ", " : "") << "{\"frame\": " << painter.GetActiveImage()
              << ", \"wait_ms\": " << wait << "}";
    ++painted_;
  }

  bool Failed() const { return failed_; }

  // DIR/timeline.json; false after saying why it could not be written.
  bool WriteTimeline() {
    const std::string json = (std::filesystem::path(dir_) / "timeline.json").string();
    const std::string text = "[" + timeline_.str() + "]\n";
    std::string why;
    if (!WriteFile(json, std::vector<std::uint8_t>(text.begin(), text.end()), &why)) {
      err_ << "velmora-gif play: cannot write '" << json << "': " << why << "\n";
      return false;
    }
    out_ << json << "\n";
    return true;
  }

 private:
  std::string dir_;
  TGIFImage& image_;
  const TBitmap& canvas_;
  std::ostream& out_;
  std::ostream& err_;
  std::ostringstream timeline_;  // the entries, without the brackets
  int painted_ = 0;
  bool failed_ = false;
};

// Plays `passes` passes of the animation onto canvas with the default draw
// options and returns when the painter has ended.
void PlayPasses(TGIFImage& image, TBitmap& canvas, int passes) {
  int pass = 1;
  image.OnNextLoop = [&](void* sender) {
    if (++pass > passes) static_cast<TGIFPainter*>(sender)->Stop();
  };
  // The default options, repeating so that the passes decide the end.
  const TGIFDrawOptions options = image.DrawOptions | GIFDrawOptionBit(goAsync) |
                                  GIFDrawOptionBit(goAnimate) | GIFDrawOptionBit(goLoop) |
                                  GIFDrawOptionBit(goLoopContinously);
  image.Paint(canvas.GetCanvas(), Rect(0, 0, canvas.GetWidth(), canvas.GetHeight()),
              options);
  while (image.HasPainters()) CheckSynchronize(10);
  image.OnNextLoop = nullptr;
}

}  // namespace

int Play(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PlayUsage(out);
    return 0;
  }
  PlaySettings settings;
  if (!ParsePlayArgs(args, settings, err)) return 2;
  const std::string& path = settings.path;
  if (!CheckFileAndFolder("play", path, settings.dir, err)) return 2;

  try {
    TGIFImage image;
    LoadGif("play", path, image, err);
    if (image.GetEmpty() || image.GetWidth() == 0 || image.GetHeight() == 0) {
      err << "velmora-gif play: " << path << ": nothing to play\n";
      return 2;
    }
    // The canvas counts with the picture.
    TGIFMemoryScope memory(&image);
    TBitmap canvas;
    PrepareCanvas(canvas, image, settings.background);

    // The painter hands over the error that ended it when it signs off.
    std::string painterError;
    image.OnWarning = [&, warn = image.OnWarning](void* sender, TGIFSeverity severity,
                                                  const std::string& message) {
      if (severity == gsError && painterError.empty()) painterError = message;
      warn(sender, severity, message);
    };
    VirtualClock clock;
    Recording recording(settings.dir, image, canvas, out, err);
    image.OnAfterFrame = [&](void* sender) {
      recording.FramePainted(*static_cast<TGIFPainter*>(sender));
    };
    PlayPasses(image, canvas, settings.passes);
    if (recording.Failed()) return 2;
    if (!painterError.empty()) {
      err << "velmora-gif play: " << path << ": " << painterError << "\n";
      return 2;
    }
    if (!recording.WriteTimeline()) return 2;
  } catch (const std::exception& e) {
    err << "velmora-gif play: " << path << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
