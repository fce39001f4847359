// The learner's card in the window, its speaker and star, and the word list
// kept across runs and crashes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Dict.h"
#include "app/LearnerCard.h"
#include "app/StrokePanel.h"
#include "app/WordList.h"
#include "app/WordListDialog.h"
#include "dict/AnkiExport.h"
#include "dict/DictFile.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/QtRichEdit.h"
#include "tests/app/WorkFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LearnerCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("1.sr", G("学：[xue2] to learn\n"));
    dir_.Write("2.sr", G("学生：[xue2 sheng5] student\n绿色：[lu:4 se4] green\n上学：to "
                         "go to school\n"));
    for (const char* name : {"3.sr", "4.sr", "5.sr"}) dir_.Write(name, "");
    dir_.Write("hsk.txt", G("学生\t1\n绿色\t3\n"));
    dir_.Write("radicals.txt", G("学\t子\t8\n"));
    dir_.Write("frequency.txt", G("学\t100\n学生\t50\n"));
    const char* path = std::getenv("PATH");
    path_ = path ? path : "";
    SharedDictImages().Clear();
  }
  void TearDown() override {
    delete form_;
    ::setenv("PATH", path_.c_str(), 1);
  }
  TForm4& Create() {
    delete form_;
    form_ = new TForm4;
    form_->DoCreate();
    form_->show();
    return *form_;
  }
  TLearnerCard& Card() { return *form_->LearnerCard; }
  void Search(const char* utf8) {
    form_->edSearch->setText(QString::fromUtf8(utf8));
    form_->btnSearchClick(form_->btnSearch);
    QApplication::processEvents();  // the card follows the results
  }
  QString Facts() { return Card().Facts()->text(); }
  // A folder on PATH alone, with a stand-in espeak-ng (a shell builtin
  // alone) that writes its arguments into args.txt beside it, or with none.
  fs::path SpeakerOnPath(bool present) {
    const fs::path bin = dir_ / (present ? "bin" : "empty");
    fs::create_directories(bin);
    if (present) {
      std::ofstream(bin / "espeak-ng") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '"
                                       << (bin / "args.txt").string() << "'\n";
      fs::permissions(bin / "espeak-ng", fs::perms::owner_all);
    }
    ::setenv("PATH", bin.c_str(), 1);
    return bin / "args.txt";
  }

  test::TWorkFolder dir_{"velmora-card"};
  TForm4* form_ = nullptr;
  std::string path_;
};

TEST_F(LearnerCardTest, CardShowsTheFirstEntrysFacts) {
  TForm4& f = Create();
  EXPECT_FALSE(Card().isVisibleTo(&f));
  Search("学生");
  ASSERT_TRUE(Card().isVisibleTo(&f));
  EXPECT_EQ(Card().Title()->text(), QStringLiteral("学生  xué sheng"));
  EXPECT_TRUE(Facts().contains(QStringLiteral("HSK 1 级")));
  EXPECT_TRUE(Facts().contains(QStringLiteral("词频 ●●●●●")));
  EXPECT_FALSE(Facts().contains(QStringLiteral("部首")));
  // It covers no control and no result, inside the window.
  for (QWidget* w : std::initializer_list<QWidget*>{
           f.edSearch, f.btnSearch, f.btnStop, f.cbRareWord, f.reResult, f.StrokePanel})
    EXPECT_FALSE(Card().geometry().intersects(w->geometry()))
        << w->metaObject()->className();
  EXPECT_TRUE(f.rect().contains(Card().geometry()));

  Search("学");
  EXPECT_EQ(Card().Entry()->Key, G("学"));
  EXPECT_TRUE(Facts().contains(QStringLiteral("部首 子　笔画 8")));
  EXPECT_FALSE(Facts().contains(QStringLiteral("HSK")));

  // A click on another entry shows that one.
  const std::string text = f.ResultEdit().Text();
  f.ResultEdit().SetSelection(int(text.find(G("学生："))) + 1, 0);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(f.reResult->viewport(), &release);
  EXPECT_EQ(Card().Entry()->Key, G("学生"));

  Search("不在");  // nothing found: no card
  EXPECT_FALSE(Card().isVisibleTo(&f));
}

// Which table gives which fact: LearnerFolderTest.EachTableAloneGivesItsOwnFacts.
TEST_F(LearnerCardTest, FolderWithoutTheTablesShowsWhatItHas) {
  for (const char* table : {"hsk.txt", "radicals.txt", "frequency.txt"})
    fs::remove(dir_ / table);
  SharedDictImages().Clear();
  Create();
  Search("学");
  ASSERT_TRUE(Card().isVisibleTo(form_));
  EXPECT_EQ(Facts(), QString());
  EXPECT_EQ(Card().Title()->text(), QStringLiteral("学  xué"));
}

TEST_F(LearnerCardTest, SpeakerGivesTheEntrysReadingToEspeak) {
  const fs::path args = SpeakerOnPath(true);
  TForm4& f = Create();
  Search("绿色");
  ASSERT_TRUE(Card().SpeakerButton()->isEnabled());
  Card().SpeakerButton()->click();
  ASSERT_TRUE(Card().Speech());
  ASSERT_TRUE(Card().Speech()->waitForFinished(5000));
  EXPECT_EQ(ReadFile(args), "-v\ncmn-latn-pinyin\n--\nlv4 se4\n");

  // The menu's 朗读, after every other item, says the card's entry too.
  const QList<QAction*> items = f.PopupMenu1->actions();
  EXPECT_EQ(items.indexOf(f.SpeakItem), items.size() - 2);
  Search("学生");
  fs::remove(args);
  f.OnPopup = [&f](TPoint) { return f.SpeakItem; };
  f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  ASSERT_TRUE(Card().Speech()->waitForFinished(5000));
  EXPECT_EQ(ReadFile(args), "-v\ncmn-latn-pinyin\n--\nxue2 sheng5\n");

  Search("上学");  // no reading: nothing to say
  EXPECT_FALSE(Card().SpeakerButton()->isEnabled());
  EXPECT_FALSE(Card().Speak());
}

TEST_F(LearnerCardTest, WithoutEspeakTheSpeakerIsOffAndSaysWhy) {
  SpeakerOnPath(false);
  Create();
  Search("学生");
  EXPECT_FALSE(Card().SpeakerButton()->isEnabled());
  EXPECT_TRUE(Card().SpeakerButton()->toolTip().contains(QStringLiteral("espeak-ng")));
  EXPECT_FALSE(Card().Speak());
}

TEST_F(LearnerCardTest, StarKeepsTheWordAndTheListExportsIt) {
  TForm4& f = Create();
  Search("学生");
  Card().StarButton()->click();
  EXPECT_TRUE(Card().StarButton()->isChecked());
  const fs::path file = dir_ / "data" / "velmora" / "words";
  EXPECT_EQ(ReadFile(file), G("学生") + "\n");
  Search("绿色");
  EXPECT_FALSE(Card().StarButton()->isChecked());
  Card().StarButton()->click();
  EXPECT_EQ(ReadFile(file), G("学生") + "\n" + G("绿色") + "\n");

  TWordListDialog dialog(&f, f.Words());
  ASSERT_EQ(dialog.List()->count(), 2);
  EXPECT_EQ(dialog.List()->item(0)->text(), QStringLiteral("学生　HSK 1"));
  ASSERT_TRUE(dialog.Export(QString::fromStdString((dir_ / "words.txt").string())));
  const std::string anki = ReadFile(dir_ / "words.txt");
  EXPECT_NE(anki.find("#guid column:6\n"), std::string::npos);
  EXPECT_NE(
      anki.find("学生\t学生\txué sheng\tstudent\tHSK 1\t" + AnkiGuid("学生") + "\n"),
      std::string::npos);
  // Taken out in the list, the star goes off.
  dialog.List()->item(0)->setSelected(true);
  dialog.RemoveSelected();
  EXPECT_EQ(ReadFile(file), G("绿色") + "\n");
  Search("学生");
  EXPECT_FALSE(Card().StarButton()->isChecked());
  EXPECT_FALSE(
      dialog.Export(QString::fromStdString((dir_ / "no" / "such.txt").string())));
}

// A window that dies while it keeps words leaves a whole list: every word
// it had kept, and the one being written either whole or not at all.
TEST_F(LearnerCardTest, WordListSurvivesACrash) {
  const std::string file = (dir_ / "words").string();
  auto word = [](int i) { return G("学") + char(0xB0 + i / 90) + char(0xA1 + i % 90); };
  const pid_t pid = ::fork();
  if (pid == 0) {
    TWordList list(file);
    list.Load();
    for (int i = 0;; ++i) list.Add(word(i));  // until killed
  }
  // Killed while it writes, after it kept some words.
  for (int tries = 0; tries < 500 && ReadFile(file).size() < 200; ++tries)
    ::usleep(10000);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  TWordList after(file);
  after.Load();
  const std::vector<std::string>& words = after.Words();
  ASSERT_GE(words.size(), 40u);
  for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i], word(int(i)));
  EXPECT_EQ(ReadFile(file).size(), words.size() * 5);  // no part of a line

  // And the next window keeps adding to it, beside what another keeps.
  TWordList a(file), b(file);
  a.Load();
  b.Load();
  a.Add(G("中国"));
  b.Add(G("学生"));
  b.Remove(word(0));
  TWordList c(file);
  c.Load();
  EXPECT_TRUE(c.Contains(G("中国")));
  EXPECT_TRUE(c.Contains(G("学生")));
  EXPECT_FALSE(c.Contains(word(0)));
  EXPECT_EQ(c.Words().size(), words.size() + 1);

  // A window that holds the lock and does not let go (stopped, say) costs
  // the change, not a frozen window.
  const int held = ::open((file + ".lock").c_str(), O_RDWR);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_FALSE(c.Add(G("龙")));
  EXPECT_FALSE(c.Contains(G("龙")));
  ::close(held);
  EXPECT_TRUE(c.Add(G("龙")));
}

}  // namespace
}  // namespace velmora
