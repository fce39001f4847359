// An animated picture in the image control: it plays through the painter,
// keeps playing while long work pumps messages, and the control's end stops
// the painter at once, even in a long frame delay.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <chrono>
#include <thread>

#include "gif/render/GIFPainter.h"
#include "platform/classes/Application.h"
#include "platform/qt/Image.h"
#include "platform/qt/QtApplication.h"

using namespace velmora;

namespace {

template <class Cond>
bool RunEventsUntil(Cond cond, int ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

}  // namespace

TEST(ImageAnimation, PlaysKeepsPlayingDuringLongWorkAndStopsWithTheControl) {
  InstallQtApplicationHooks();
  // Frames every few milliseconds instead of every 600, until fast is cleared.
  static std::atomic<bool> fast{true};
  GIFPainterClock().Wait = [](TEvent& wake, std::uint32_t ms) {
    return wake.WaitFor(fast ? 3 : ms);
  };

  auto* control = new TImage;
  control->Picture().LoadFromFile(VELMORA_DATA_DIR "/t1.gif");
  auto* gif = dynamic_cast<TGIFImage*>(control->Picture().GetGraphic());
  ASSERT_NE(gif, nullptr);
  ASSERT_GT(gif->Images->GetCount(), 1);
  std::atomic<int> frames{0};
  gif->OnAfterFrame = [&](void*) { ++frames; };
  control->resize(gif->GetWidth(), gif->GetHeight());
  control->show();

  ASSERT_TRUE(RunEventsUntil([&] { return frames >= 2; }));
  ASSERT_NE(gif->Painter, nullptr);
  // The control shows the composed picture as it changes.
  QImage first = control->Render();
  const int seen = frames;
  ASSERT_TRUE(RunEventsUntil([&] { return frames >= seen + 2; }));
  EXPECT_TRUE(RunEventsUntil([&] { return control->Render() != first; }));

  // Long work on the GUI thread that lets pending messages run.
  const int before = frames;
  for (int i = 0; i < 300 && frames < before + 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Application().ProcessMessages();
  }
  EXPECT_GE(frames, before + 3);

  // Real time and a 10 s delay on every frame: the painter is soon waiting.
  for (int i = 0; i < gif->Images->GetCount(); ++i)
    if (auto* gce = gif->Images->GetImage(i)->GraphicControlExtension)
      gce->SetDelay(1000);
  fast = false;
  const int waiting = frames;
  ASSERT_TRUE(RunEventsUntil([&] { return frames >= waiting + 1; }, 15000));
  auto t0 = std::chrono::steady_clock::now();
  delete control;
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  EXPECT_TRUE(RunEventsUntil([] { return TGIFPainter::LiveCount.load() == 0; }, 2000));
  ResetGIFPainterClock();
}
