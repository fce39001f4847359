// velmora-gif frames: each frame's own bitmap and mask as PNG files.
#include <exception>

#include "gif/render/GIFRender.h"
#include "tools/velmora-gif/FrameFiles.h"
#include "tools/velmora-gif/GIFCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {

namespace {

// White where the mask marks a transparent pixel, black elsewhere.
std::vector<std::uint8_t> MaskRows(HBITMAP mask, int w, int h, TGIFImage& image,
                                   TMemoryCharge& charge) {
  ChargeImageMemory(image, charge, std::int64_t(w) * h);
  std::vector<std::uint8_t> rows(std::size_t(w) * std::size_t(h));
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* bits = GetBitmapRow(mask, y);
    for (int x = 0; x < w; ++x)
      rows[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
          MonoPixel(bits, x) ? 255 : 0;
  }
  return rows;
}

}  // namespace

int Frames(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << "Usage: velmora-gif frames FILE OUTDIR\n"
           "Writes each frame's own bitmap, at the frame's size, as\n"
           "OUTDIR/frame_NNN.png (NNN is the frame's index; frames without image\n"
           "data write nothing) and, for a frame with a transparency mask,\n"
           "OUTDIR/mask_NNN.png, white where the pixel is transparent and black\n"
           "elsewhere. OUTDIR is created when missing. Prints the files written.\n"
           "The decoder's warnings (a file cut short, say) go to standard error;\n"
           "the frames are written all the same, as far as the data goes.\n"
           "Exit status 0 when the frames were written, warnings or not; 2 when the\n"
           "file can't be read or decoded, the picture needs more memory than the\n"
           "limit for one picture (512 MiB, everything made from it included), or\n"
           "an output file can't be written.\n";
    return 0;
  }
  if (args.size() != 2) {
    err << "velmora-gif frames: expected FILE and OUTDIR (try velmora-gif frames "
           "--help)\n";
    return 2;
  }
  const std::string& path = args[0];
  const std::string& dir = args[1];
  if (!CheckFileAndFolder("frames", path, dir, err)) return 2;
  try {
    TGIFImage image;
    LoadGif("frames", path, image, err);
    // What is made from the frames to write them counts with the frames.
    TGIFMemoryScope memory(&image);
    for (int i = 0; i < image.Images->GetCount(); ++i) {
      TGIFSubImage* frame = image.Images->GetImage(i);
      TBitmap* bitmap = frame->GetBitmap();
      if (!bitmap) continue;
      const std::string name = NumberedPng(dir, "frame", i);
      TMemoryCharge rows;
      std::string why;
      if (!WritePng(name, bitmap->GetWidth(), bitmap->GetHeight(), PngColor::Rgb,
                    RgbRows(image, *bitmap, rows), &why)) {
        err << "velmora-gif frames: cannot write '" << name << "': " << why << "\n";
        return 2;
      }
      out << name << "\n";
      if (frame->Mask) {
        const std::string maskName = NumberedPng(dir, "mask", i);
        if (!WritePng(maskName, frame->GetWidth(), frame->GetHeight(), PngColor::Grey,
                      MaskRows(frame->Mask.get(), frame->GetWidth(), frame->GetHeight(),
                               image, rows),
                      &why)) {
          err << "velmora-gif frames: cannot write '" << maskName << "': " << why << "\n";
          return 2;
        }
        out << maskName << "\n";
      }
      // Written: room for the next frame's bitmap within the picture's limit.
      frame->FreeBitmap();
      frame->FreeMask();
    }
  } catch (const std::exception& e) {
    err << "velmora-gif frames: " << path << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora::gifTool
