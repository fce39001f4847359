// velmora-gif encode: PNG frames to one GIF, through the GIF writer's colour
// reduction and frame optimisation.
#include <sys/stat.h>

#include <cstdint>
#include <exception>
#include <string>

#include "gif/GIFMessages.h"
#include "gif/GIFOptimize.h"
#include "gif/GIFSettings.h"
#include "tools/velmora-gif/GIFCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {

namespace {

void EncodeUsage(std::ostream& out) {
  out << "Usage: velmora-gif encode OUT.gif FRAME.png... [--delay MS] [--loops N]\n"
         "                          [--no-loop] [--background RRGGBB] [--no-dither]\n"
         "Writes the PNG frames, all of one size, as one GIF: a still for one\n"
         "frame, an animation for more, each frame shown for MS milliseconds\n"
         "(default 100, stored in hundredths of a second). An animation loops\n"
         "forever unless --loops N stores another loop count N (0: forever) or\n"
         "--no-loop leaves the loop count out, so that it plays once.\n"
         "Fully transparent pixels of the PNG files stay transparent. Partly\n"
         "transparent ones are opaque from half opacity on and transparent below,\n"
         "unless --background RRGGBB lays them over that colour.\n"
         "Each frame after the first holds only the rectangle that changed, with\n"
         "the pixels there that didn't change transparent or repeated, whichever\n"
         "is smaller; a frame the same as the one before only lengthens its delay.\n"
         "When all frames have at most 256 colours together (255 with transparent\n"
         "pixels) they share one colour table and play back exactly; otherwise\n"
         "the frames share 255 colours chosen for all of them (median cut refined\n"
         "by k-means), with error diffusion on gradients (not inside flat areas,\n"
         "little on edges) unless --no-dither.\n"
         "A frame may be at most 65535 pixels wide and high, and at most 512 MiB\n"
         "at 4 bytes a pixel (about 11585x11585), as velmora-gif reads; a larger\n"
         "one is refused from its header, before its pixels are read.\n"
         "Exit status 0 on success, 2 when an argument is wrong, a frame can't\n"
         "be read or is too large, the frames differ in size, OUT.gif is one of\n"
         "the frames or OUT.gif can't be written.\n";
}

// True when both paths name one existing file (by device and inode, so
// that links and other spellings of a name count too).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ParseColor(const std::string& text, std::int64_t& color) {
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != text.npos)
    return false;
  color = std::int64_t(std::stoul(text, nullptr, 16));
  return true;
}

bool ParseNumber(const std::string& text, int most, int& n) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != text.npos)
    return false;
  n = std::stoi(text);
  return n <= most;
}

}  // namespace

int Encode(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    EncodeUsage(out);
    return 0;
  }
  std::vector<std::string> positional;
  TGIFFramesOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--no-dither") {
      options.Dither = false;
    } else if (arg == "--no-loop") {
      options.Loops = -1;
    } else if (arg == "--background") {
      if (i + 1 >= args.size() || !ParseColor(args[i + 1], options.Background)) {
        err << "velmora-gif encode: --background needs a colour RRGGBB (six hex "
               "digits)\n";
        return 2;
      }
      ++i;
    } else if (arg == "--delay" || arg == "--loops") {
      if (i + 1 >= args.size()) {
        err << "velmora-gif encode: " << arg << " needs a value\n";
        return 2;
      }
      const std::string& value = args[++i];
      // The file holds the delay in hundredths of a second, both in 16 bits.
      const int most = arg == "--delay" ? 655350 : 65535;
      int n = 0;
      if (!ParseNumber(value, most, n)) {
        err << "velmora-gif encode: bad value '" << value << "' for " << arg
            << " (a whole number from 0 to " << most << ")\n";
        return 2;
      }
      (arg == "--delay" ? options.DelayMs : options.Loops) = n;
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "velmora-gif encode: unknown option '" << arg << "' (try velmora-gif encode "
          << "--help)\n";
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() < 2) {
    err << "velmora-gif encode: expected OUT.gif and at least one FRAME.png (try "
           "velmora-gif encode --help)\n";
    return 2;
  }
  const std::string& target = positional[0];
  for (std::size_t i = 1; i < positional.size(); ++i)
    if (SameFile(target, positional[i])) {
      err << "velmora-gif encode: '" << target << "' is also the frame '" << positional[i]
          << "'; refusing to write over an input\n";
      return 2;
    }
  std::vector<TGIFRGBFrame> frames;
  for (std::size_t i = 1; i < positional.size(); ++i) {
    PngPicture picture;
    std::string error;
    // The size is judged from the header, before the pixels take memory: a
    // picture that a GIF can't hold, or whose screen the GIF reader would
    // refuse for its memory, is refused here.
    std::string refusal;
    const PngSizeCheck fits = [&](std::uint32_t w, std::uint32_t h) {
      if (w > 65535 || h > 65535)
        refusal = "larger than a GIF can hold (65535x65535)";
      else if (std::int64_t(w) * h * 4 > GIFImageMaxPixelMemory)
        refusal = _sPixelMemoryExceeded;
      else if (!frames.empty() &&
               (int(w) != frames[0].Width || int(h) != frames[0].Height))
        refusal = "but '" + positional[1] + "' is " + std::to_string(frames[0].Width) +
                  "x" + std::to_string(frames[0].Height) +
                  "; all frames must have one size";
      if (!refusal.empty())
        refusal = "'" + positional[i] + "' is " + std::to_string(w) + "x" +
                  std::to_string(h) + ", " + refusal;
      return refusal;
    };
    if (!ReadPng(positional[i], picture, error, fits)) {
      if (!refusal.empty())
        err << "velmora-gif encode: " << refusal << "\n";
      else
        err << "velmora-gif encode: cannot read '" << positional[i] << "': " << error
            << "\n";
      return 2;
    }
    frames.emplace_back(picture.Width, picture.Height, std::move(picture.Pixels),
                        std::move(picture.Alpha));
  }
  try {
    TGIFImage image;
    GIFFromFrames(image, frames, options);
    TFileStream stream(target, TFileMode::fmCreate);
    image.SaveToStream(stream);
    stream.Close();
  } catch (const std::exception& e) {
    err << "velmora-gif encode: " << target << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
