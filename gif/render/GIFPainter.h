// The animation painter: plays an animated TGIFImage onto a canvas
// rectangle, on a thread of its own (goAsync) or inside the draw call, and
// composes each frame with the disposal method of the frame before it.
//
// Every access to the canvas and every event handler runs on the GUI thread
// through DoSynchronize; the painter thread only times frames and renders
// frame bitmaps ahead. A painter is never killed: one that has to go while
// it can't be waited for is detached from its image and ends by itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "platform/classes/Bitmap.h"
#include "platform/classes/Threads.h"

namespace velmora {

// The time source and the waits of every painter. Tests and the play tool
// put a virtual clock here; the defaults are the real ones.
struct TGIFPainterClock {
  std::function<std::uint32_t()> Now;  // milliseconds, a wrapping 32-bit count
  // One sleep slice of a synchronous painter.
  std::function<void(std::uint32_t ms)> Sleep;
  // An asynchronous painter's frame delay: waits on its wake event for ms
  // (INFINITE: no limit). Returns wrTimeout when the delay simply ran out.
  std::function<TWaitResult(TEvent& wake, std::uint32_t ms)> Wait;
};
TGIFPainterClock& GIFPainterClock();
// Puts the real clock back.
void ResetGIFPainterClock();

// Serialises rendering of frame bitmaps between painter threads (which
// render ahead) and painting on the GUI thread.
std::recursive_mutex& GIFRenderMutex();

class TGIFPainter : public TThread {
 public:
  TGIFPainter(TGIFImage* image, TCanvas& canvas, const TRect& rect,
              TGIFDrawOptions options);
  // Also writes the new painter through painterRef and keeps it up to date.
  TGIFPainter(TGIFPainter** painterRef, TGIFImage* image, TCanvas& canvas,
              const TRect& rect, TGIFDrawOptions options);
  ~TGIFPainter() override;

  void Start();
  void Stop();
  void Restart();
  void SetAnimationSpeed(int percent);
  // Chooses the next frame; ignored outside the frame range.
  void SetActiveImage(int index);
  int GetActiveImage() const { return ActiveImage.load(); }
  bool IsAsync() const { return DrawOptions & GIFDrawOptionBit(goAsync); }

  // Runs the frame loop on the calling thread, signs off and frees the
  // painter (the synchronous painter of InternalPaint).
  void RunSynchronous();

  // Runs method on the GUI thread (asynchronous) or here; nothing once the
  // painter is terminated or detached.
  void DoSynchronize(void (TGIFPainter::*method)());
  void DoEvent();
  void DoPaint();
  void DoPaintFrame();
  void ClearFrameArea();

  // Separates the painter from its image: it leaves the painter list and
  // the owner's reference, stops, and touches neither image nor canvas
  // again. Call with the image's PaintersLock held.
  void Detach();
  // Whether a GUI-thread step of this painter is running on the stack, so
  // that waiting for the painter would wait for ourselves.
  bool InStep() const { return FStepDepth > 0; }

  // Fields; the painter thread reads the image only while it is attached.
  TGIFImage* Image;
  TCanvas* Canvas;
  TRect Rect;
  TGIFDrawOptions DrawOptions;
  std::atomic<int> AnimationSpeed;
  std::atomic<int> ActiveImage{-1};
  int Disposal = dmNoDisposal;
  int LastDisposal = dmNoDisposal;
  std::unique_ptr<TBitmap> WorkBuffer;
  std::unique_ptr<TBitmap> ScratchBuffer;
  std::unique_ptr<TBitmap> BackgroundSnapshot;
  TColor BackgroundColor = clWhite;
  HDC CanvasDC = nullptr;
  std::atomic<bool> RestartRequested{false};
  std::atomic<bool> FirstFramePainted{false};
  TGIFPainter** PainterRef = nullptr;
  std::unique_ptr<TEvent> WakeEvent;
  std::string KeptError;  // message of the error that ended the run
  std::exception_ptr KeptException;
  // The wait computed before the frame being shown, in milliseconds
  // (0 when there was none, INFINITE for a held frame).
  std::atomic<std::uint32_t> LastWait{0};

  // Painters alive in the process, for shutdown checks and tests.
  static std::atomic<int> LiveCount;

  TNotifyEvent OnAnimationStart;
  TNotifyEvent OnBeforeFrame;
  TNotifyEvent OnAfterFrame;
  TNotifyEvent OnNextLoop;
  TNotifyEvent OnAnimationEnd;

 protected:
  void Execute() override;

 private:
  void SetUpBuffers(TCanvas& canvas);
  // Draws the active frame on the canvas, straight (DoPaint) or composed
  // through the buffers under the disposals (DoPaintFrame).
  void PaintActiveFrame(bool compose);
  void ComposeFrame(TGIFSubImage& frame);
  void FireEvent(const TNotifyEvent& handler);
  void DoOnTerminate(void* sender);
  void SignOff();

  // What a run carries from pass to pass and from frame to frame.
  struct TRun {
    int Loops = 1;             // passes left; -1: endless
    int LoopStart = 0;         // where repeat passes begin
    bool LoopSeen = false;     // only the run's first loop extension counts
    int PendingDelay = 0;      // delay of the frame shown before (GIFDelayExp ms units)
    std::uint32_t Stamp = 0;   // clock reading at the last wait
    std::int64_t Carried = 0;  // the last wait, for the next one's correction
  };
  // The steps of Execute. A run plays the passes its loop count asks for,
  // a pass plays the frames from the loop start; false ends the pass.
  void PlayRun();
  // Says whether the pass showed a frame.
  bool PlayPass(TRun& run);
  // Under the image lock: is the frame at ActiveImage there to be shown?
  // Renders its bitmap ahead when a delay comes first.
  bool PrepareFrame(int pendingDelay);
  bool WaitForFrame(int pendingDelay, std::uint32_t& stamp, std::int64_t& carried);
  // Under the image lock: the frame's loop count (first one of the run),
  // disposal and the delay that follows it.
  bool ReadFrameControl(TRun& run, int& delay);
  int FrameDelay(const TGIFSubImage& frame) const;
  // Paints on the GUI thread, composed in the work buffer when there is one.
  void PaintFrame();
  // Fires OnAfterFrame and moves on, unless its handler chose the next frame.
  bool AdvanceFrame();
  // An error that ends the run, for SignOff to report.
  void KeepError(const char* message);
  bool Option(TGIFDrawOption o) const { return DrawOptions & GIFDrawOptionBit(o); }

  // Held while the painter thread reads the image; Detach takes it, so the
  // painter is never cut off half-way through.
  std::recursive_mutex FImageLock;
  std::atomic<bool> FActiveImageChosen{false};  // SetActiveImage ran meanwhile
  TNotifyEvent FCurrentEvent;
  int FStepDepth = 0;  // GUI thread only
  bool FSignedOff = false;
};

// What TGIFImage's drawing and settings ask of the painter that Draw
// started (the image's Painter).
//
// Draws an animated picture that has no composed bitmap to show yet: starts
// (or keeps) the image's painter and shows the composed bitmap once the
// first frame is in it.
void DrawAnimated(TGIFImage& image, TCanvas& canvas, const TRect& rect);
// Stops that painter and waits until it has signed off; the painters'
// GUI-thread requests run meanwhile, and nothing else. A painter that can't
// be waited for is detached and ends by itself.
void StopImagePainter(TGIFImage& image);
// Hands a new animation speed to that painter, under the painters' lock.
void SetPainterAnimationSpeed(TGIFImage& image, int percent);

}  // namespace velmora
