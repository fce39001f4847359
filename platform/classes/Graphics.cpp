#include "platform/classes/Graphics.h"

#include <algorithm>
#include <mutex>

namespace velmora {

void TGraphic::Assign(const TGraphic& source) {
  TMemoryStream buffer;
  const_cast<TGraphic&>(source).SaveToStream(buffer);
  buffer.SetPosition(0);
  LoadFromStream(buffer);
}

void TGraphic::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

void TGraphic::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmCreate);
  SaveToStream(file);
  file.Close();
}

void TGraphic::SetTransparent(bool value) {
  if (value != FTransparent) {
    FTransparent = value;
    Changed(this);
  }
}

void TGraphic::SetModified(bool value) {
  if (value) {
    Changed(this);
  } else {
    FModified = false;
  }
}

void TGraphic::Changed(void* /*sender*/) {
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(void* sender, TProgressStage stage, std::uint8_t percentDone,
                        bool redrawNow, const TRect& rect, const std::string& msg) {
  if (OnProgress) OnProgress(sender, stage, percentDone, redrawNow, rect, msg);
}

namespace {

struct FileFormat {
  std::string extension;  // upper case
  std::string description;
  std::string id;
  TGraphicFactory factory;
};

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return s;
}

struct ClipboardFormat {
  std::uint16_t format;
  std::string id;
  TGraphicFactory factory;
};

struct Registry {
  std::mutex lock;
  std::vector<FileFormat> formats;
  std::vector<ClipboardFormat> clipboard;
};

Registry& Formats() {
  static Registry registry;
  return registry;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension,
                                  const std::string& description, const std::string& id,
                                  TGraphicFactory factory) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> hold(r.lock);
  r.formats.push_back({Upper(extension), description, id, std::move(factory)});
}

void TPicture::UnregisterGraphicClass(const std::string& id) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> hold(r.lock);
  std::erase_if(r.formats, [&](const FileFormat& f) { return f.id == id; });
  std::erase_if(r.clipboard, [&](const ClipboardFormat& f) { return f.id == id; });
}

void TPicture::RegisterClipboardFormat(std::uint16_t format, const std::string& id,
                                       TGraphicFactory factory) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> hold(r.lock);
  r.clipboard.push_back({format, id, std::move(factory)});
}

TGraphicFactory TPicture::FindClipboardFormat(std::uint16_t format) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> hold(r.lock);
  for (auto it = r.clipboard.rbegin(); it != r.clipboard.rend(); ++it) {
    if (it->format == format) return it->factory;
  }
  return nullptr;
}

TGraphicFactory TPicture::FindFileFormat(const std::string& extension) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> hold(r.lock);
  std::string ext = Upper(extension);
  for (auto it = r.formats.rbegin(); it != r.formats.rend(); ++it) {
    if (it->extension == ext) return it->factory;
  }
  return nullptr;
}

TPicture::~TPicture() = default;

void TPicture::LoadFromFile(const std::string& fileName) {
  std::string::size_type dot = fileName.find_last_of('.');
  std::string::size_type slash = fileName.find_last_of('/');
  std::string ext =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash))
          ? std::string()
          : fileName.substr(dot + 1);
  TGraphicFactory factory = FindFileFormat(ext);
  if (!factory) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  std::unique_ptr<TGraphic> graphic = factory();
  graphic->OnProgress = OnProgress;
  graphic->LoadFromFile(fileName);
  SetGraphic(std::move(graphic));
}

void TPicture::Assign(const TPicture& source) {
  if (&source == this) return;
  if (!source.FGraphic) {
    SetGraphic(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> copy = source.FGraphic->NewOfSameClass();
  copy->Assign(*source.FGraphic);
  SetGraphic(std::move(copy));
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  FGraphic = std::move(graphic);
  Hook();
  if (OnChange) OnChange(this);
}

void TPicture::Hook() {
  if (!FGraphic) return;
  FGraphic->OnChange = [this](void*) {
    if (OnChange) OnChange(this);
  };
  FGraphic->OnProgress = [this](void* sender, TProgressStage stage, std::uint8_t pct,
                                bool redraw, const TRect& r, const std::string& msg) {
    if (OnProgress) OnProgress(sender, stage, pct, redraw, r, msg);
  };
}

}  // namespace velmora
