// The stroke-order animation of one character for the HTML page. The drawing
// lives in velmora-gif, which draws with cairo; velmora-lookup runs it as a child
// process only when a page asks for the picture, so that its own start-up
// stays as light as a plain scan.
#pragma once

#include <string>

namespace velmora {

// The velmora-gif program to run: the one beside this program's own file,
// else the first one on PATH; empty when there is none.
std::string FindGifTool();

// The GIF bytes of the stroke order of character (one character in UTF-8),
// drawn from the stroke data in folder by `velmora-gif strokes`. Empty when
// the tool is missing, fails, or the character has no stroke data; the
// tool's messages are dropped, since the page is complete without it.
std::string StrokeAnimationGif(const std::string& character, const std::string& folder);

// Standard Base64 with padding, for a data: URL.
std::string Base64(const std::string& bytes);

}  // namespace velmora
