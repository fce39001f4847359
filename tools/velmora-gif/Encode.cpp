// velmora-gif encode: PNG frames to one GIF, through the GIF writer's colour
// reduction and frame optimisation.
#include <exception>

#include "gif/GIFOptimize.h"
#include "tools/velmora-gif/GIFCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {

namespace {

void EncodeUsage(std::ostream& out) {
  out << "Usage: velmora-gif encode OUT.gif FRAME.png... [--delay MS] [--loops N]\n"
         "                          [--no-dither]\n"
         "Writes the PNG frames, all of one size, as one GIF: a still for one\n"
         "frame, an animation for more, each frame shown for MS milliseconds\n"
         "(default 100, stored in hundredths of a second). --loops N adds a loop\n"
         "count (0: forever); without it the animation plays once. Transparency\n"
         "in the PNG files is laid over white.\n"
         "Each frame after the first holds only the rectangle that changed, with\n"
         "the pixels there that didn't change transparent. When all frames have\n"
         "at most 256 colours together they share one colour table and play back\n"
         "exactly; otherwise the frames share 255 colours chosen for all of them\n"
         "(median cut refined by k-means), with error diffusion on gradients\n"
         "(not inside flat areas, little on edges) unless --no-dither.\n"
         "Exit status 0 on success, 2 when an argument is wrong, a frame can't\n"
         "be read, the frames differ in size or OUT.gif can't be written.\n";
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
  std::vector<TGIFRGBFrame> frames;
  for (std::size_t i = 1; i < positional.size(); ++i) {
    PngPicture picture;
    std::string error;
    if (!ReadPng(positional[i], picture, error)) {
      err << "velmora-gif encode: cannot read '" << positional[i] << "': " << error
          << "\n";
      return 2;
    }
    if (!frames.empty() &&
        (picture.Width != frames[0].Width || picture.Height != frames[0].Height)) {
      err << "velmora-gif encode: '" << positional[i] << "' is " << picture.Width << "x"
          << picture.Height << ", but '" << positional[1] << "' is " << frames[0].Width
          << "x" << frames[0].Height << "; all frames must have one size\n";
      return 2;
    }
    if (picture.Width > 65535 || picture.Height > 65535) {
      err << "velmora-gif encode: '" << positional[i] << "' is " << picture.Width << "x"
          << picture.Height << ", larger than a GIF can hold (65535x65535)\n";
      return 2;
    }
    frames.push_back({picture.Width, picture.Height, std::move(picture.Pixels)});
  }
  try {
    TGIFImage image;
    GIFFromFrames(image, frames, options);
    TFileStream stream(target, TFileMode::fmCreate);
    image.SaveToStream(stream);
  } catch (const std::exception& e) {
    err << "velmora-gif encode: " << target << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
