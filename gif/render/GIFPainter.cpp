// The animation painter: timing, loops and events of an animation, and the
// image's controls over its painters.
#include "gif/render/GIFPainter.h"

#include <algorithm>
#include <limits>

#include "gif/GIFExtensions.h"
#include "gif/render/GIFRender.h"
#include "platform/classes/Application.h"
#include "platform/classes/ScopeGuard.h"

namespace velmora {

namespace {

// Rounds to nearest; 64-bit so that overflow can be seen by the caller.
std::int64_t MulDiv64(std::int64_t a, std::int64_t b, std::int64_t c) {
  std::int64_t p = a * b;
  std::int64_t half = c / 2;
  return p < 0 ? (p - half) / c : (p + half) / c;
}

bool FitsInt(std::int64_t v) {
  return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

TGIFPainterClock RealClock() {
  TGIFPainterClock clock;
  clock.Now = [] { return GetTickCount(); };
  clock.Sleep = [](std::uint32_t ms) { velmora::Sleep(ms); };
  clock.Wait = [](TEvent& wake, std::uint32_t ms) { return wake.WaitFor(ms); };
  return clock;
}

// Orders detaching against signing off, so that a painter signing off on the
// GUI thread and an image detaching it elsewhere never both touch the list.
// Outermost of the painter locks: attach mutex, PaintersLock, a painter's
// image lock.
std::recursive_mutex& AttachMutex() {
  static std::recursive_mutex* m = new std::recursive_mutex;
  return *m;
}

}  // namespace

std::recursive_mutex& GIFRenderMutex() {
  static std::recursive_mutex* m = new std::recursive_mutex;
  return *m;
}

TGIFPainterClock& GIFPainterClock() {
  static TGIFPainterClock clock = RealClock();
  return clock;
}

void ResetGIFPainterClock() {
  GIFPainterClock() = RealClock();
}

// --- Creation ------------------------------------------------------------------

TGIFPainter::TGIFPainter(TGIFImage* image, TCanvas& canvas, const TRect& rect,
                         TGIFDrawOptions options)
    : TThread(true),
      Image(image),
      Canvas(&canvas),
      Rect(rect),
      DrawOptions(options),
      AnimationSpeed(image->AnimationSpeed) {
  ++LiveCount;
  FreeOnTerminate = true;
  OnTerminate = [this](void* sender) { DoOnTerminate(sender); };
  if (Option(goAsync) && Option(goAnimate) && image->Images->GetCount() > 1 &&
      AnimationSpeed >= 0)
    WakeEvent = std::make_unique<TEvent>(false, false);
  // The device context is recorded here, on the GUI thread, rather than by
  // the painter thread, which must not touch the canvas.
  if (Option(goValidateCanvas)) CanvasDC = canvas.GetHandle();
  // No destructor runs for a painter that was never made.
  TFailureGuard uncount([] { --LiveCount; });
  SetUpBuffers(canvas);
}

TGIFPainter::TGIFPainter(TGIFPainter** painterRef, TGIFImage* image, TCanvas& canvas,
                         const TRect& rect, TGIFDrawOptions options)
    : TGIFPainter(image, canvas, rect, options) {
  PainterRef = painterRef;
  if (PainterRef) *PainterRef = this;
}

TGIFPainter::~TGIFPainter() {
  --LiveCount;
}

std::atomic<int> TGIFPainter::LiveCount{0};

void TGIFPainter::SetUpBuffers(TCanvas& canvas) {
  TGIFImage& image = *Image;
  if (image.PaintBackgroundColor == clNone) {
    BackgroundColor =
        image.GetColorMap()->GetCount() > 0 ? image.GetBackgroundColor() : clWhite;
  } else {
    // Symbolic colours have no RGB of their own here; the window colour
    // stands for them.
    BackgroundColor = (image.PaintBackgroundColor & 0xFF000000u)
                          ? clWhite
                          : ColorToRGB(image.PaintBackgroundColor);
  }

  unsigned used = 0;  // bit n: disposal method n occurs
  if (Option(goClearOnLoop)) used |= 1u << dmBackground;
  for (int i = 0; i < image.Images->GetCount(); ++i)
    if (TGIFGraphicControlExtension* gce =
            image.Images->GetImage(i)->GraphicControlExtension)
      used |= 1u << gce->GetDisposal();

  const int w = Rect.Width(), h = Rect.Height();
  const TRect whole = velmora::Rect(0, 0, w, h);
  if ((used & (1u << dmBackground)) && Option(goTransparent)) {
    BackgroundSnapshot = std::make_unique<TBitmap>();
    BackgroundSnapshot->SetSize(w, h);
    BackgroundSnapshot->GetCanvas().CopyRect(whole, canvas, Rect);
  }
  if (used & ((1u << dmBackground) | (1u << dmPrevious))) {
    WorkBuffer = std::make_unique<TBitmap>();
    WorkBuffer->SetSize(w, h);
    WorkBuffer->GetCanvas().SetBrushColor(BackgroundColor);
    WorkBuffer->GetCanvas().CopyRect(whole, canvas, Rect);
    ScratchBuffer = std::make_unique<TBitmap>();
    ScratchBuffer->SetSize(w, h);
    ScratchBuffer->GetCanvas().SetBrushColor(BackgroundColor);
  }
}

// --- Control -------------------------------------------------------------------

void TGIFPainter::Start() {
  if (IsAsync()) Resume();
}

void TGIFPainter::Stop() {
  Terminate();
  if (IsAsync()) {
    if (WakeEvent) WakeEvent->SetEvent();
    SetPriority(tpNormal);
    if (Suspended()) Resume();
  }
}

void TGIFPainter::Restart() {
  RestartRequested = true;
  if (IsAsync() && Suspended()) Resume();
}

void TGIFPainter::SetAnimationSpeed(int percent) {
  percent = std::clamp(percent, 0, 1000);
  if (percent == AnimationSpeed.load()) return;
  AnimationSpeed = percent;
  if (WakeEvent)
    WakeEvent->SetEvent();
  else
    RestartRequested = true;
}

void TGIFPainter::SetActiveImage(int index) {
  std::lock_guard guard(FImageLock);
  if (Image && index >= 0 && index < Image->Images->GetCount()) {
    ActiveImage = index;
    FActiveImageChosen = true;
  }
}

void TGIFPainter::Detach() {
  std::lock_guard attach(AttachMutex());
  std::lock_guard guard(FImageLock);
  if (Image) {
    // The caller holds the image's PaintersLock.
    auto& list = Image->Painters;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (PainterRef && *PainterRef == this) *PainterRef = nullptr;
  }
  PainterRef = nullptr;
  Image = nullptr;
  Stop();
}

// --- GUI-thread steps ------------------------------------------------------------

void TGIFPainter::DoSynchronize(void (TGIFPainter::*method)()) {
  if (Terminated()) return;
  auto step = [this, method] {
    {
      std::lock_guard guard(FImageLock);
      // Stopped or detached while the request waited in the queue.
      if (Terminated() || !Image) return;
    }
    ++FStepDepth;
    TScopeGuard stepDone([this] { --FStepDepth; });
    (this->*method)();
  };
  if (IsAsync())
    Synchronize(step);
  else
    step();
}

void TGIFPainter::DoEvent() {
  if (FCurrentEvent) FCurrentEvent(this);
}

void TGIFPainter::FireEvent(const TNotifyEvent& handler) {
  if (!handler) return;
  FCurrentEvent = handler;
  TScopeGuard eventDone([this] { FCurrentEvent = nullptr; });
  DoSynchronize(&TGIFPainter::DoEvent);
}

// --- The run -----------------------------------------------------------------------

bool TGIFPainter::WaitForFrame(int pendingDelay, std::uint32_t& stamp,
                               std::int64_t& carried) {
  TGIFPainterClock& clock = GIFPainterClock();
  if (pendingDelay <= 0) {
    LastWait = 0;
    clock.Sleep(0);
    return true;
  }
  const bool async = IsAsync();
  const int speed = AnimationSpeed.load();
  const std::int64_t longest = std::int64_t(GIFMaximumDelay) * GIFDelayExp;
  std::int64_t wait;
  const std::uint32_t now = clock.Now();
  if (speed > 0) {
    // A clock that wrapped between the readings counts as an overflow.
    const std::int64_t elapsed = now >= stamp ? std::int64_t(now - stamp)
                                              : std::numeric_limits<std::int64_t>::max();
    const std::int64_t correction = (elapsed - carried) / 2;
    const std::int64_t nominal = std::int64_t(pendingDelay) * GIFDelayExp - correction;
    wait = elapsed == std::numeric_limits<std::int64_t>::max() || !FitsInt(elapsed) ||
                   !FitsInt(correction) || !FitsInt(nominal)
               ? -1
               : MulDiv64(nominal, 100, speed);
    if (wait == -1 || !FitsInt(wait)) {
      wait = longest;
      carried = 0;
    } else {
      carried = wait;
    }
  } else {
    wait = async ? std::int64_t(INFINITE) : longest;
  }
  stamp = now;
  LastWait = wait > 0 ? std::uint32_t(wait) : 0;

  if (async) {
    if (wait > 0 || speed == 0) {
      const std::uint32_t ms = speed == 0 ? INFINITE : std::uint32_t(wait);
      TWaitResult result;
      if (WakeEvent) {
        result = clock.Wait(*WakeEvent, ms);
      } else {
        // No wake event (a speed change restarts instead): sleep in slices
        // so that a stop is still seen.
        std::int64_t left = ms == INFINITE ? longest : std::int64_t(ms);
        while (left > 0 && !Terminated()) {
          const std::uint32_t slice = std::uint32_t(std::min<std::int64_t>(left, 100));
          clock.Sleep(slice);
          left -= slice;
        }
        result = TWaitResult::wrTimeout;
      }
      if (result != TWaitResult::wrTimeout) {
        carried = 0;
        stamp = clock.Now();
      }
    }
    return true;
  }

  if (wait <= 0) wait = 1;
  while (wait > 0 && !Terminated() && !RestartRequested) {
    const std::uint32_t slice = std::uint32_t(std::min<std::int64_t>(wait, 100));
    const std::uint32_t before = clock.Now();
    clock.Sleep(slice);
    wait -= std::int64_t(std::uint32_t(clock.Now() - before));
    // Keep the caller's messages flowing between slices.
    if (!Terminated() && !RestartRequested) Application().ProcessMessages();
  }
  return true;
}

void TGIFPainter::Execute() {
  try {
    // Runs start over from frame 0 for as long as restarts are asked for.
    RestartRequested = true;
    while (RestartRequested && !Terminated()) PlayRun();
    ActiveImage = -1;
    FireEvent(OnAnimationEnd);
  } catch (const std::exception& e) {
    KeepError(e.what());
  } catch (...) {
    KeepError("Unknown error");
  }
}

void TGIFPainter::KeepError(const char* message) {
  Terminate();
  KeptError = message;
  KeptException = std::current_exception();
}

void TGIFPainter::PlayRun() {
  ActiveImage = 0;
  FireEvent(OnAnimationStart);
  FirstFramePainted = false;
  RestartRequested = false;

  TRun run;
  run.PendingDelay = IsAsync() ? 0 : 1;
  LastDisposal = dmNoDisposal;
  run.Stamp = GIFPainterClock().Now();

  while ((run.Loops != 0 || Option(goLoopContinously)) && !Terminated() &&
         !RestartRequested) {
    const bool painted = PlayPass(run);
    if (run.Loops > 0) --run.Loops;
    if (!(Option(goAnimate) && Option(goLoop))) break;
    // A pass that showed nothing (an empty frame at the loop start)
    // would repeat at once for ever.
    if (!painted) break;
  }
}

bool TGIFPainter::PlayPass(TRun& run) {
  ActiveImage = run.LoopStart;
  if (FirstFramePainted) FireEvent(OnNextLoop);
  bool painted = false;
  for (;;) {
    if (!PrepareFrame(run.PendingDelay)) break;
    WaitForFrame(run.PendingDelay, run.Stamp, run.Carried);

    if (Terminated()) break;
    FireEvent(OnBeforeFrame);
    if (Terminated()) break;

    int delay;
    if (!ReadFrameControl(run, delay)) break;
    PaintFrame();
    painted = true;
    if (Terminated()) break;
    run.PendingDelay = delay;

    if (!AdvanceFrame()) break;
    if (!Option(goAnimate)) break;
  }
  return painted;
}

bool TGIFPainter::PrepareFrame(int pendingDelay) {
  std::lock_guard guard(FImageLock);
  if (!Image) {
    Terminate();  // detached: end without touching anything
    return false;
  }
  if (ActiveImage >= Image->Images->GetCount() || Terminated() || RestartRequested)
    return false;
  TGIFSubImage* frame = Image->Images->GetImage(ActiveImage);
  if (frame->GetEmpty()) return false;
  // The coming frame is rendered now, so the delay absorbs the time.
  if (pendingDelay > 0) {
    std::lock_guard render(GIFRenderMutex());
    try {
      frame->GetBitmap();
    } catch (const std::exception& e) {
      // Rendered when painted instead, where the other frames' bitmaps can
      // make room for it.
      if (!IsMemoryRefusal(e)) throw;
    }
  }
  return true;
}

bool TGIFPainter::ReadFrameControl(TRun& run, int& delay) {
  std::lock_guard guard(FImageLock);
  if (!Image) {
    Terminate();
    return false;
  }
  // A handler may have chosen another frame meanwhile.
  TGIFSubImage* frame = Image->Images->GetImage(ActiveImage);
  Disposal = dmNoDisposal;
  for (int i = 0; i < frame->Extensions->GetCount(); ++i) {
    TGIFExtension* ext = frame->Extensions->GetExtension(i);
    if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext)) {
      if (!run.LoopSeen) {
        run.LoopSeen = true;
        run.Loops = loop->Loops;
        run.LoopStart = ActiveImage;
        if ((run.Loops == 0 || Option(goLoopContinously)) && IsAsync()) run.Loops = -1;
      }
    } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
      Disposal = gce->GetDisposal();
    }
  }
  delay = FrameDelay(*frame);
  return true;
}

int TGIFPainter::FrameDelay(const TGIFSubImage& frame) const {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension;
  if (!gce || gce->GetDelay() <= 0) return GIFDefaultDelay;
  const int delay = std::max(gce->GetDelay(), GIFMinimumDelay);
  return IsAsync() ? delay : std::min(delay, GIFMaximumDelay);
}

void TGIFPainter::PaintFrame() {
  DoSynchronize(WorkBuffer ? &TGIFPainter::DoPaintFrame : &TGIFPainter::DoPaint);
  LastDisposal = Disposal;
}

bool TGIFPainter::AdvanceFrame() {
  // A handler may choose the next frame, the shown one included.
  FActiveImageChosen = false;
  FireEvent(OnAfterFrame);
  if (Terminated()) return false;
  if (!FActiveImageChosen) ActiveImage = ActiveImage + 1;
  return true;
}

void TGIFPainter::RunSynchronous() {
  Execute();
  SignOff();
  delete this;
}

// --- Sign-off ------------------------------------------------------------------------

void TGIFPainter::DoOnTerminate(void*) {
  SignOff();
}

void TGIFPainter::SignOff() {
  if (FSignedOff) return;
  FSignedOff = true;
  TGIFImage* image;
  {
    // Lock order everywhere: attach mutex, PaintersLock, image lock.
    std::lock_guard attach(AttachMutex());
    {
      std::lock_guard guard(FImageLock);
      image = Image;
    }
    if (image) {
      std::lock_guard lock(image->PaintersLock);
      if (PainterRef && *PainterRef == this) *PainterRef = nullptr;
      auto& list = image->Painters;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
      std::lock_guard guard(FImageLock);
      Image = nullptr;
    }
    PainterRef = nullptr;
  }
  WorkBuffer.reset();
  ScratchBuffer.reset();
  BackgroundSnapshot.reset();
  // The error that ended the run goes to the image's owner, on the thread
  // that signs off (the GUI thread for an asynchronous painter), with no
  // lock held. A detached painter's image may be gone: it reports nothing.
  if (image && !KeptError.empty()) image->Warning(this, gsError, KeptError);
}

// --- The image's controls ------------------------------------------------------------

void StopImagePainter(TGIFImage& image) {
  for (;;) {
    {
      std::lock_guard attach(AttachMutex());
      std::lock_guard lock(image.PaintersLock);
      TGIFPainter* painter = image.Painter;
      if (!painter) return;
      painter->Stop();
      if (!painter->IsAsync()) return;  // ends when its current slice is over
      // Waiting is impossible off the GUI thread and from inside the
      // painter's own step: detach it and let it end by itself.
      if (!IsMainThread() || painter->InStep()) {
        painter->Detach();
        return;
      }
    }
    CheckSynchronize(10);
  }
}

TGIFPainter* TGIFImage::InternalPaint(TGIFPainter** painterRef, TCanvas& canvas,
                                      const TRect& rect, TGIFDrawOptions options) {
  if (GetEmpty() || rect.Left >= rect.Right || rect.Top >= rect.Bottom) {
    if (painterRef) *painterRef = nullptr;
    return nullptr;
  }
  if (Images->GetCount() == 1)
    options &=
        TGIFDrawOptions(~(GIFDrawOptionBit(goAsync) | GIFDrawOptionBit(goAnimate)));
  // The painter's buffers, and all a synchronous painter draws, count
  // against the picture's limit.
  TGIFMemoryScope memory(this);
  TGIFPainter* painter;
  {
    std::lock_guard lock(PaintersLock);
    painter = painterRef ? new TGIFPainter(painterRef, this, canvas, rect, options)
                         : new TGIFPainter(this, canvas, rect, options);
    Painters.push_back(painter);
  }
  painter->OnAnimationStart = OnAnimationStart;
  painter->OnBeforeFrame = OnBeforeFrame;
  painter->OnAfterFrame = OnAfterFrame;
  painter->OnNextLoop = OnNextLoop;
  painter->OnAnimationEnd = OnAnimationEnd;
  if (!(options & GIFDrawOptionBit(goAsync))) {
    painter->RunSynchronous();
    if (painterRef) *painterRef = nullptr;
    return nullptr;
  }
  painter->SetPriority(ThreadPriority);
  return painter;
}

TGIFPainter* TGIFImage::Paint(TCanvas& canvas, const TRect& rect,
                              TGIFDrawOptions options) {
  TGIFPainter* painter = InternalPaint(nullptr, canvas, rect, options);
  if (painter) painter->Start();
  return painter;
}

void TGIFImage::StopDraw() {
  StopImagePainter(*this);
  FreeBitmap();
}

void TGIFImage::PaintStop() {
  for (;;) {
    {
      std::lock_guard attach(AttachMutex());
      std::lock_guard lock(PaintersLock);
      if (Painters.empty()) break;
      int asyncCount = 0;
      std::vector<TGIFPainter*> list = Painters;
      for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if ((*it)->IsAsync()) ++asyncCount;
        (*it)->Stop();
      }
      // Synchronous painters run further down this thread's stack; they end
      // when control returns to them, and must find the image gone from
      // their reach. Painters that can't be waited for go the same way.
      const bool canWait = IsMainThread();
      for (TGIFPainter* painter : list)
        if (!painter->IsAsync() || !canWait || painter->InStep()) painter->Detach();
      if (asyncCount == 0 || !canWait || Painters.empty()) break;
    }
    CheckSynchronize(10);
  }
  FreeBitmap();
}

void TGIFImage::PaintStart() {
  std::lock_guard lock(PaintersLock);
  for (TGIFPainter* painter : Painters) painter->Start();
}

void TGIFImage::PaintPause() {
  std::lock_guard lock(PaintersLock);
  for (TGIFPainter* painter : Painters)
    if (painter->IsAsync()) painter->Suspend();
}

void TGIFImage::PaintResume() {
  std::lock_guard lock(PaintersLock);
  for (TGIFPainter* painter : Painters) painter->Start();
}

void TGIFImage::PaintRestart() {
  std::lock_guard lock(PaintersLock);
  for (TGIFPainter* painter : Painters) painter->Restart();
}

bool TGIFImage::HasPainters() {
  std::lock_guard lock(PaintersLock);
  return !Painters.empty();
}

void DrawAnimated(TGIFImage& image, TCanvas& canvas, const TRect& rect) {
  std::lock_guard attach(AttachMutex());
  std::lock_guard lock(image.PaintersLock);
  if (image.Painter && image.Painter->Canvas == &canvas && image.Painter->Rect == rect)
    return;
  image.StopDraw();
  const bool direct = image.DrawOptions & GIFDrawOptionBit(goDirectDraw);
  TCanvas* target = &canvas;
  TRect targetRect = rect;
  if (!direct) {
    image.NewBitmap();
    target = &image.Bitmap->GetCanvas();
    targetRect = target->GetClipRect();
    // Compose over what the control shows, for transparent animations.
    target->CopyRect(targetRect, canvas, rect);
  }
  {
    // A painter that could not be made (its buffers would pass the memory
    // limit, say) leaves no composed bitmap behind.
    TFailureGuard dropBitmap([&] {
      if (!direct) image.Bitmap.reset();
    });
    image.InternalPaint(&image.Painter, *target, targetRect, image.DrawOptions);
  }
  if (!image.Painter) return;
  image.Painter->Start();
  if (direct) return;
  while (image.Painter && !image.Painter->Terminated() &&
         !image.Painter->FirstFramePainted)
    CheckSynchronize(10);
  if (image.Bitmap) image.DrawCachedBitmap(canvas, rect, *image.Bitmap);
}

void SetPainterAnimationSpeed(TGIFImage& image, int percent) {
  std::lock_guard lock(image.PaintersLock);
  if (image.Painter) image.Painter->SetAnimationSpeed(percent);
}

}  // namespace velmora
