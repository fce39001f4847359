#include "tools/velmora-gif/GIFCommands.h"

#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "velmora/Version.h"

namespace velmora::gifTool {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "FILE", "print the decoded image as one JSON object", Info},
      {"frames", "FILE OUTDIR", "write each frame's bitmap and mask as PNG files",
       Frames},
      {"play", "FILE OUTDIR [--background RRGGBB] [--loops N]",
       "play the animation off screen, writing each painted state and the timeline",
       Play},
      {"encode",
       "OUT.gif FRAME.png... [--delay MS] [--loops N] [--no-loop] [--background RRGGBB] "
       "[--no-dither]",
       "write PNG frames as one GIF, optimised and reduced to 256 colours where needed",
       Encode},
      {"strokes", "[-C DIR] CHAR OUT.gif [--size PX] [--delay MS]",
       "draw a character's stroke order as a looping GIF", Strokes},
  };
  return commands;
}

namespace {
void Usage(std::ostream& out) {
  out << "Usage: velmora-gif COMMAND ARGS...\n"
         "Inspects and writes GIF files with Velmora's own GIF codec.\n\nCommands:\n";
  for (const Command& c : Commands())
    out << "  " << c.name << " " << c.synopsis << "\n      " << c.summary << "\n";
  out << "\nExit status: 0 success, 2 trouble (a file could not be read or\n"
         "written, decoding or encoding raised an error, or a picture needs more\n"
         "than the 512 MiB one picture may take). Warnings about damaged data go\n"
         "to standard error; a file that could still be drawn exits with 0.\n"
         "'velmora-gif COMMAND --help' tells more about each command;\n"
         "'velmora-gif --version' shows the version.\n";
}
}  // namespace

int Main(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    Usage(err);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    Usage(out);
    return 0;
  }
  if (args[0] == "--version") {
    out << "velmora-gif " VELMORA_VERSION "\n";
    return 0;
  }
  for (const Command& c : Commands())
    if (args[0] == c.name) return c.run(Args(args.begin() + 1, args.end()), out, err);
  err << "velmora-gif: unknown command '" << args[0] << "' (try --help)\n";
  return 2;
}

unsigned long long PixelHash(const unsigned char* data, std::size_t size) {
  return XXH3_64bits(data, size);
}

}  // namespace velmora::gifTool
