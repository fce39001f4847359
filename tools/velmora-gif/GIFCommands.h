// The subcommands of velmora-gif. Each takes its arguments (after the
// subcommand's name) and writes to out and err; the result is the exit status.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmora::gifTool {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* synopsis;  // arguments, for the usage text
  const char* summary;
  int (*run)(const Args& args, std::ostream& out, std::ostream& err);
};

// Every subcommand the tool knows; new ones are added here.
const std::vector<Command>& Commands();

int Main(const Args& args, std::ostream& out, std::ostream& err);

// `info FILE`: the decoded model as one JSON object.
int Info(const Args& args, std::ostream& out, std::ostream& err);

// `frames FILE OUTDIR`: each frame's bitmap and mask as PNG files.
int Frames(const Args& args, std::ostream& out, std::ostream& err);

// `play FILE OUTDIR [--background RRGGBB] [--loops N]`: each painted canvas
// state as PNG and the painter's waits as timeline.json.
int Play(const Args& args, std::ostream& out, std::ostream& err);

// `encode OUT.gif FRAME.png... [--delay MS] [--loops N] [--no-loop] [--background RRGGBB]
// [--no-dither]`: PNG frames as one optimised GIF.
int Encode(const Args& args, std::ostream& out, std::ostream& err);

// `strokes [-C DIR] CHAR OUT.gif [--size PX] [--delay MS]`: a character's
// stroke order as a looping GIF.
int Strokes(const Args& args, std::ostream& out, std::ostream& err);

// The hash `info` prints for a frame's pixel indices: XXH3 (64 bits) of the
// bytes, which runs at the speed of memory where a byte-at-a-time hash
// would take a good part of a large frame's decoding time.
unsigned long long PixelHash(const unsigned char* data, std::size_t size);

}  // namespace velmora::gifTool
