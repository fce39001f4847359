// velmora-gif strokes: one character's stroke order as a looping GIF, drawn
// from the packed stroke data and written by our own GIF writer.
#include <cstdlib>
#include <exception>

#include "dict/DictFolder.h"
#include "strokes/StrokeData.h"
#include "strokes/StrokeDrawing.h"
#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::gifTool {

namespace {

void StrokesUsage(std::ostream& out) {
  out << "Usage: velmora-gif strokes [-C DIR] CHAR OUT.gif [--size PX] [--delay MS]\n"
         "Draws the stroke order of the character CHAR (UTF-8) as a GIF that loops\n"
         "forever: each stroke is written along its middle line over a few frames,\n"
         "in red, over the whole character drawn faintly; finished strokes are\n"
         "black, and the finished character stays for a moment before it starts\n"
         "again.\n"
         "  -C DIR      read the stroke data ("
      << StrokeFileName
      << ") from DIR\n"
         "  --size PX   width and height in pixels, 16 to 2048 (default 256)\n"
         "  --delay MS  milliseconds per frame (default 60)\n"
         "Without -C the data is looked for as the dictionary is: in\n"
         "$VELMORA_DICTIONARY, in the current folder when it holds a dictionary,\n"
         "then in the installed data.\n"
         "Exit status 0 on success, 2 when an argument is wrong, the character has\n"
         "no stroke data, the data can't be read or OUT.gif can't be written.\n";
}

bool ParseNumber(const std::string& text, int least, int most, int& n) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != text.npos)
    return false;
  n = std::stoi(text);
  return n >= least && n <= most;
}

}  // namespace

int Strokes(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    StrokesUsage(out);
    return 0;
  }
  std::vector<std::string> positional;
  std::optional<std::string> folder;
  TStrokeAnimationOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-C" || arg == "--size" || arg == "--delay") {
      if (i + 1 >= args.size()) {
        err << "velmora-gif strokes: " << arg << " needs a value\n";
        return 2;
      }
      const std::string& value = args[++i];
      if (arg == "-C") {
        folder = value;
        continue;
      }
      const bool size = arg == "--size";
      // The file holds a delay in hundredths of a second, in 16 bits.
      const int least = size ? 16 : 0, most = size ? 2048 : 655350;
      if (!ParseNumber(value, least, most, size ? options.Size : options.DelayMs)) {
        err << "velmora-gif strokes: bad value '" << value << "' for " << arg
            << " (a whole number from " << least << " to " << most << ")\n";
        return 2;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "velmora-gif strokes: unknown option '" << arg
          << "' (try velmora-gif strokes --help)\n";
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    err << "velmora-gif strokes: expected CHAR and OUT.gif (try velmora-gif strokes "
           "--help)\n";
    return 2;
  }
  const std::optional<char32_t> character = SingleCodePoint(positional[0]);
  if (!character) {
    err << "velmora-gif strokes: '" << positional[0]
        << "' is not one character in UTF-8\n";
    return 2;
  }
  // The data in the dictionary's folder, chosen as for the dictionary; when
  // a folder not named with -C lacks it, the installed one.
  const TDictFolder chosen = ChooseDictFolder(folder);
  const std::optional<std::string> found = StrokeDataFile(chosen.Path, bool(folder));
  if (!found) {
    err << "velmora-gif strokes: no stroke data (" << StrokeFileName << ") in "
        << chosen.Path << " (" << chosen.Why() << "); try -C DIR\n";
    return 2;
  }
  const std::string& file = *found;
  const std::string& target = positional[1];
  try {
    const TStrokeData data = TStrokeData::Open(file);
    const std::optional<TCharacterStrokes> strokes = data.Find(*character);
    if (!strokes) {
      err << "velmora-gif strokes: no stroke order for '" << positional[0] << "' in "
          << file << "\n";
      return 2;
    }
    TGIFImage image;
    StrokeGIF(image, *strokes, options);
    TFileStream stream(target, TFileMode::fmCreate);
    image.SaveToStream(stream);
    stream.Close();
  } catch (const EStrokeData& e) {
    err << "velmora-gif strokes: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "velmora-gif strokes: " << target << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
