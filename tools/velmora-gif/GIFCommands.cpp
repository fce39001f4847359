#include "tools/velmora-gif/GIFCommands.h"

#include <algorithm>

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

unsigned long long Fnv1a64(const unsigned char* data, std::size_t size) {
  unsigned long long hash = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  return hash;
}

namespace {

constexpr unsigned long long kFnvOffset = 0xcbf29ce484222325ull,
                             kFnvPrime = 0x100000001b3ull;

// Advances the K chains of lanes by n bytes each.
template <int K>
void FnvSteps(unsigned long long* const* hash, const unsigned char** at, std::size_t n) {
  unsigned long long h[K];
  const unsigned char* p[K];
  for (int k = 0; k < K; ++k) h[k] = *hash[k], p[k] = at[k];
  for (std::size_t i = 0; i < n; ++i)
    for (int k = 0; k < K; ++k) h[k] = (h[k] ^ p[k][i]) * kFnvPrime;
  for (int k = 0; k < K; ++k) *hash[k] = h[k], at[k] = p[k] + n;
}

}  // namespace

std::vector<unsigned long long> Fnv1a64Each(const std::vector<TBytesView>& ranges) {
  std::vector<unsigned long long> hashes(ranges.size(), kFnvOffset);
  // Four lanes, each hashing one range; a lane whose range is done takes the
  // next one, and all lanes advance together by what the shortest has left.
  constexpr int kLanes = 4;
  struct Lane {
    std::size_t range;
    const unsigned char* at;
    std::size_t left;
  };
  Lane lanes[kLanes];
  int active = 0;
  std::size_t next = 0;
  for (;;) {
    while (active < kLanes && next < ranges.size()) {
      if (ranges[next].size > 0)
        lanes[active++] = {next, ranges[next].data, ranges[next].size};
      ++next;
    }
    if (active == 0) break;
    std::size_t n = lanes[0].left;
    unsigned long long* hash[kLanes];
    const unsigned char* at[kLanes];
    for (int k = 0; k < active; ++k) {
      n = std::min(n, lanes[k].left);
      hash[k] = &hashes[lanes[k].range];
      at[k] = lanes[k].at;
    }
    switch (active) {
      case 4:
        FnvSteps<4>(hash, at, n);
        break;
      case 3:
        FnvSteps<3>(hash, at, n);
        break;
      case 2:
        FnvSteps<2>(hash, at, n);
        break;
      default:
        FnvSteps<1>(hash, at, n);
        break;
    }
    int kept = 0;
    for (int k = 0; k < active; ++k) {
      lanes[k].at = at[k];
      lanes[k].left -= n;
      if (lanes[k].left > 0) lanes[kept++] = lanes[k];
    }
    active = kept;
  }
  return hashes;
}

}  // namespace velmora::gifTool
