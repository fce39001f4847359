// Two velmora processes on one desktop session: the second hands its query
// to the first. The test runs on a private session bus of its own, which it
// starts with dbus-run-session around a second run of this test program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/Dict.h"
#include "app/SingleInstance.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/RichEdit.h"
#include "tests/TempFolder.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

// Runs the event loop until done() holds or ms pass; the window must go on
// answering the bus meanwhile.
bool RunUntil(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(top_ / "dict");
    fs::create_directories(top_ / "elsewhere");
    auto write = [&](const char* name, const char* utf8) {
      std::ofstream(top_ / "dict" / name, std::ios::binary) << G(utf8);
    };
    write("1.sr", "中：middle\n");
    write("2.sr", "中国：China\n");
    write("3.sr", "一二三：one two three\n");
    write("4.sr", "一二三四：four\n");
    write("5.sr", "一二三四五：five\n");
    home_ = fs::current_path();
  }
  void TearDown() override { fs::current_path(home_); }
  // Starts velmora with args in folder; env entries are added to this
  // process's environment.
  static void Start(QProcess& p, const QStringList& args, const fs::path& folder,
                    const QStringList& env = {}) {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.remove(QStringLiteral("VELMORA_DICTIONARY"));  // the folders are the test's
    for (const QString& kv : env) e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(QString::fromStdString(folder.string()));
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(VELMORA_BINARY), args);
  }
  static bool Finished(QProcess& p) {
    if (RunUntil([&] { return p.state() == QProcess::NotRunning; })) return true;
    p.kill();
    p.waitForFinished();
    return false;
  }

  test::TTempFolder top_{"velmora-instance"};
  fs::path home_;
};

TEST_F(InstanceTest, SecondProcessHandsItsQueryToTheRunningWindow) {
  const char* marker = std::getenv("VELMORA_TEST_PASSED_MARKER");
  if (!marker) {
    QString runner = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    if (runner.isEmpty()) {
      GTEST_SKIP() << "dbus-run-session is missing (Debian package dbus-bin, which "
                      "scripts/bootstrap installs): the single-instance test cannot run";
    }
    // This test again, inside a session bus that ends with it.
    fs::path passed = top_ / "passed";
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("VELMORA_TEST_PASSED_MARKER"),
             QString::fromStdString(passed.string()));
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(runner, {QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("--gtest_filter=InstanceTest."
                                    "SecondProcessHandsItsQueryToTheRunningWindow")});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(fs::exists(passed)) << "the test on the private bus did not pass";
    return;
  }

  fs::current_path(top_ / "dict");
  TForm4 form;
  form.DoCreate();
  form.show();
  TInstanceService service;
  ASSERT_TRUE(service.Claim());
  service.Serve(&form);

  // Started in a folder without a dictionary: the query is searched in the
  // running window's folder.
  QProcess second;
  Start(second, {QStringLiteral("中国")}, top_ / "elsewhere");
  // It ends by itself only when the window took the query.
  ASSERT_TRUE(Finished(second));
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(RunUntil([&] {
    auto lines = test::Lines(form.ResultEdit());
    return lines.size() > 1 && lines[1] == G("搜寻完毕!");
  }));
  EXPECT_EQ(test::Lines(form.ResultEdit())[0], G("您所查询的 「中国」相关内容："));
  EXPECT_EQ(form.edSearch->text(), QStringLiteral("中国"));
  EXPECT_TRUE(form.isActiveWindow());

  // Without a query it only raises the window.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(RunUntil([&] { return other.isActiveWindow(); }));
  QProcess third;
  Start(third, {}, top_ / "elsewhere");
  ASSERT_TRUE(Finished(third));
  EXPECT_EQ(third.exitCode(), 0);
  EXPECT_TRUE(RunUntil([&] { return form.isActiveWindow(); }));
  EXPECT_EQ(test::Lines(form.ResultEdit())[0], G("您所查询的 「中国」相关内容："));

  // A folder named with -C goes only to a window open on that folder:
  // another one opens a window of its own (which saves its picture and
  // quits), and the running window is left as it was.
  QProcess fourth;
  Start(fourth,
        {QStringLiteral("-C"), QString::fromStdString((top_ / "elsewhere").string()),
         QStringLiteral("一二三")},
        top_ / "elsewhere",
        {QStringLiteral("VELMORA_SCREENSHOT_FILE=") +
         QString::fromStdString((top_ / "own.png").string())});
  ASSERT_TRUE(Finished(fourth));
  EXPECT_EQ(fourth.exitCode(), 0);
  EXPECT_GT(fs::file_size(top_ / "own.png"), 0u);
  EXPECT_EQ(form.edSearch->text(), QStringLiteral("中国"));
  QProcess fifth;
  Start(fifth,
        {QStringLiteral("-C"), QString::fromStdString((top_ / "dict").string()),
         QStringLiteral("一二三")},
        top_ / "elsewhere");
  ASSERT_TRUE(Finished(fifth));
  EXPECT_EQ(fifth.exitCode(), 0);
  EXPECT_TRUE(
      RunUntil([&] { return form.edSearch->text() == QStringLiteral("一二三"); }));

  if (!HasFailure()) std::ofstream(marker) << "passed\n";
}

TEST_F(InstanceTest, WithoutASessionBusEachProcessOpensItsOwnWindow) {
  // Two at once; each searches, saves its picture and quits by itself, which
  // only a window of its own does.
  QProcess a, b;
  for (QProcess* p : {&a, &b}) {
    QString shot =
        QString::fromStdString((top_ / (p == &a ? "a.png" : "b.png")).string());
    Start(*p, {QStringLiteral("中国")}, top_ / "dict",
          {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") +
               QString::fromStdString((top_ / "no-bus").string()),
           QStringLiteral("VELMORA_SCREENSHOT_FILE=") + shot});
  }
  ASSERT_TRUE(Finished(a));
  ASSERT_TRUE(Finished(b));
  EXPECT_EQ(a.exitCode(), 0);
  EXPECT_EQ(b.exitCode(), 0);
  EXPECT_GT(fs::file_size(top_ / "a.png"), 0u);
  EXPECT_GT(fs::file_size(top_ / "b.png"), 0u);
}

// Started from a menu with a folder that is gone, the program used to end
// at once with a message on standard error only. The window opens (it saves
// its picture and quits) and says why in its view.
TEST_F(InstanceTest, AFolderThatCannotBeEnteredStillOpensTheWindow) {
  QProcess p;
  const fs::path shot = top_ / "shot.png";
  Start(
      p, {QStringLiteral("-C"), QString::fromStdString((top_ / "gone").string())},
      top_ / "dict",
      {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") +
           QString::fromStdString((top_ / "no-bus").string()),
       QStringLiteral("VELMORA_SCREENSHOT_FILE=") + QString::fromStdString(shot.string()),
       QStringLiteral("VELMORA_SCREENSHOT_QUERY=中国")});
  ASSERT_TRUE(Finished(p));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_GT(fs::file_size(shot), 0u);
}

}  // namespace
}  // namespace velmora
