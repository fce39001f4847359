// The picture system of the class library stand-in: the abstract graphic,
// the picture container and its registry of file formats.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/classes/Classes.h"

namespace velmora {

class TCanvas;  // drawing surface, supplied by the GDI layer

enum class TProgressStage { psStarting, psRunning, psEnding };

using TProgressEvent =
    std::function<void(void* sender, TProgressStage stage, std::uint8_t percentDone,
                       bool redrawNow, const TRect& rect, const std::string& msg)>;

// Abstract graphic: what the picture container and image controls call.
class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  virtual ~TGraphic() = default;

  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual bool GetEmpty() const = 0;
  virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  // A new, empty graphic of the same class, for copying (TPicture::Assign).
  virtual std::unique_ptr<TGraphic> NewOfSameClass() const = 0;
  // Copies source's content; the default saves and reloads it.
  virtual void Assign(const TGraphic& source);

  virtual void LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName);

  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool value);
  bool GetModified() const { return FModified; }
  void SetModified(bool value);

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  // Marks the graphic modified and tells whoever shows it.
  virtual void Changed(void* sender);
  void Progress(void* sender, TProgressStage stage, std::uint8_t percentDone,
                bool redrawNow, const TRect& rect, const std::string& msg);

 private:
  bool FTransparent = false;
  bool FModified = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// Holds one graphic, chosen by file extension from the registry that units
// fill at start-up.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  ~TPicture();

  // Registers a graphic class for a file extension (without the dot); later
  // registrations of the same extension take precedence.
  static void RegisterFileFormat(const std::string& extension,
                                 const std::string& description, const std::string& id,
                                 TGraphicFactory factory);
  // Registers a graphic class for a clipboard format number.
  static void RegisterClipboardFormat(std::uint16_t format, const std::string& id,
                                      TGraphicFactory factory);
  // The factory for a clipboard format; null if none.
  static TGraphicFactory FindClipboardFormat(std::uint16_t format);
  // Removes every registration made under id.
  static void UnregisterGraphicClass(const std::string& id);
  // The factory for an extension, matched without regard to case; null if none.
  static TGraphicFactory FindFileFormat(const std::string& extension);

  // Loads the named file with the graphic class registered for its extension.
  // Raises EInvalidGraphic for an unknown extension; whatever the graphic
  // raises while loading passes through, and the picture stays as it was.
  void LoadFromFile(const std::string& fileName);
  void Assign(const TPicture& source);
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  TGraphic* GetGraphic() const { return FGraphic.get(); }
  int GetWidth() const { return FGraphic ? FGraphic->GetWidth() : 0; }
  int GetHeight() const { return FGraphic ? FGraphic->GetHeight() : 0; }

  // Told when the graphic changes (a new frame to show, a new graphic).
  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 private:
  void Hook();
  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace velmora
