// What the frames and play commands share: the checks of FILE and OUTDIR
// before they start, loading the image, and the PNG files they write.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "gif/GIFImage.h"
#include "platform/classes/Bitmap.h"

namespace velmora::gifTool {

// FILE must open for reading and OUTDIR must exist or be made. False after
// telling err which failed, prefixed with "velmora-gif COMMAND".
bool CheckFileAndFolder(const char* command, const std::string& path,
                        const std::string& dir, std::ostream& err);

// Decodes the GIF at path into image; throws what decoding throws. The
// decoder's warnings go to err as "velmora-gif COMMAND: FILE: warning: ...",
// each text once, then and whenever the image warns later.
void LoadGif(const char* command, const std::string& path, TGIFImage& image,
             std::ostream& err);

// Charges bytes the tool allocates for image (rows to write, say) to its
// memory account for as long as charge lives, the frames' cached bitmaps
// making room when needed; raises GIFException when the image's limit would
// be passed all the same.
void ChargeImageMemory(TGIFImage& image, TMemoryCharge& charge, std::int64_t bytes);

// DIR/STEM_NNN.png for index NNN.
std::string NumberedPng(const std::string& dir, const char* stem, int index);

// The bitmap's colours, whatever its format, as RGB rows. The rows (as
// charge) and any copy made on the way count against image's limit.
std::vector<std::uint8_t> RgbRows(TGIFImage& image, const TBitmap& bitmap,
                                  TMemoryCharge& charge);

}  // namespace velmora::gifTool
