// velmora-gif info: what the codec made of a file, as JSON.
#include <cstdio>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "platform/classes/Gbk.h"
#include "tools/common/Json.h"
#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::gifTool {

namespace {

// Text in the file is GBK; JSON wants UTF-8.
std::string Quote(const std::string& gbkText) {
  return tools::JsonString(gbk::ToUtf8(gbkText));
}

const char* Bool(bool b) {
  return b ? "true" : "false";
}

void WriteJson(TGIFImage& image, const std::vector<std::string>& warnings,
               const std::string* error, std::ostream& out) {
  const TLogicalScreenDescriptor& lsd = image.Header->LogicalScreenDescriptor;
  out << "{\"screen\": {\"width\": " << lsd.ScreenWidth
      << ", \"height\": " << lsd.ScreenHeight
      << ", \"background_index\": " << int(lsd.BackgroundColorIndex)
      << ", \"aspect\": " << int(lsd.AspectRatio)
      << ", \"global_colors\": " << image.GetColorMap()->GetCount() << "}, \"frames\": [";
  const TGIFAppExtNSLoop* loop = nullptr;
  std::vector<std::string> comments;
  for (int i = 0; i < image.Images->GetCount(); ++i) {
    TGIFSubImage& frame = *image.Images->GetImage(i);
    for (int e = 0; e < frame.Extensions->GetCount(); ++e) {
      TGIFExtension* ext = frame.Extensions->GetExtension(e);
      if (auto* l = dynamic_cast<TGIFAppExtNSLoop*>(ext); l && !loop) loop = l;
      if (auto* c = dynamic_cast<TGIFCommentExtension*>(ext)) {
        std::string text;
        for (const std::string& block : c->Text) text += block;
        comments.push_back(text);
      }
    }
    const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension;
    auto orNull = [gce](int value) { return gce ? std::to_string(value) : "null"; };
    char hash[17];
    std::snprintf(
        hash, sizeof hash, "%016llx",
        PixelHash(frame.Data.get(), frame.Data ? std::size_t(frame.DataSize) : 0));
    out << (i ? ", " : "") << "{\"left\": " << frame.GetLeft()
        << ", \"top\": " << frame.GetTop() << ", \"width\": " << frame.GetWidth()
        << ", \"height\": " << frame.GetHeight()
        << ", \"interlaced\": " << Bool(frame.GetInterlaced())
        << ", \"local_colors\": " << frame.ColorMap->GetCount()
        << ", \"transparent\": " << Bool(frame.Transparent) << ", \"transparent_index\": "
        << orNull(gce ? gce->GetTransparentColorIndex() : 0)
        << ", \"delay\": " << orNull(gce ? gce->GetDelay() : 0)
        << ", \"disposal\": " << orNull(gce ? gce->GetDisposal() : 0)
        << ", \"user_input\": " << (gce ? Bool(gce->GetUserInput()) : "null")
        << ", \"pixels_xxh3\": \"" << hash << "\"}";
  }
  out << "], \"loops\": " << (loop ? std::to_string(loop->Loops) : "null")
      << ", \"comments\": [";
  for (std::size_t i = 0; i < comments.size(); ++i)
    out << (i ? ", " : "") << Quote(comments[i]);
  out << "], \"warnings\": [";
  for (std::size_t i = 0; i < warnings.size(); ++i)
    out << (i ? ", " : "") << Quote(warnings[i]);
  out << "], \"error\": " << (error ? Quote(*error) : "null") << "}\n";
}

}  // namespace

int Info(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << "Usage: velmora-gif info FILE\n"
           "Prints one JSON object: the logical screen, every frame (bounds, tables,\n"
           "graphic control values or null, the 64-bit XXH3 hash of its pixel\n"
           "indices), the loop count, the comments (one string per comment block),\n"
           "the warnings in the order issued and the error that ended decoding, or\n"
           "null.\n"
           "Exit status 0 when the file loaded, 2 when decoding raised an error (the\n"
           "JSON still shows what was read, and the error goes to standard error too)\n"
           "or the file could not be opened. A picture that needs more memory than\n"
           "the limit for one picture (512 MiB, its screen's canvas included) is\n"
           "such an error.\n";
    return 0;
  }
  if (args.size() != 1) {
    err << "velmora-gif info: expected one FILE (try velmora-gif info --help)\n";
    return 2;
  }
  const std::string& path = args[0];
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&warnings](void*, TGIFSeverity, const std::string& message) {
    warnings.push_back(message);
  };
  std::string error;
  bool failed = false;
  try {
    // The whole file at once: one read instead of one per sub-block.
    const TFileBytes bytes = ReadFileBytes(path);
    TReadOnlyMemoryStream stream(bytes.Data.get(), bytes.Size);
    image.LoadFromStream(stream);
  } catch (const EFOpenError&) {
    err << "velmora-gif info: cannot open '" << path << "'\n";
    return 2;
  } catch (const std::exception& e) {
    // GIFException for damaged data; a file that cannot be read too.
    error = e.what();
    failed = true;
  }
  WriteJson(image, warnings, failed ? &error : nullptr, out);
  if (failed) err << "velmora-gif info: " << path << ": " << error << "\n";
  return failed ? 2 : 0;
}

}  // namespace velmora::gifTool
