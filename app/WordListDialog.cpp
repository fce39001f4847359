#include "app/WordListDialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/WordList.h"
#include "dict/AnkiExport.h"
#include "dict/DictFile.h"
#include "dict/LearnerTables.h"
#include "platform/classes/FileWrite.h"
#include "platform/classes/SysUtils.h"
#include "platform/richedit/GbkQt.h"

namespace velmora {

TWordListDialog::TWordListDialog(QWidget* parent, TWordList& words)
    : QDialog(parent),
      FWords(words),
      FList(new QListWidget(this)),
      FStatus(new QLabel(this)),
      FRemove(new QPushButton(QStringLiteral("删除"), this)),
      FExport(new QPushButton(QStringLiteral("导出 Anki 文件…"), this)) {
  setWindowTitle(QStringLiteral("单词本"));
  FList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FStatus->setWordWrap(true);
  auto* close = new QPushButton(QStringLiteral("关闭"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FRemove);
  buttons->addStretch();
  buttons->addWidget(FExport);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FList);
  layout->addWidget(FStatus);
  layout->addLayout(buttons);
  connect(FRemove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(FExport, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出 Anki 文件"), QStringLiteral("velmora-words.txt"),
        QStringLiteral("Anki 文本文件 (*.txt)"));
    if (!file.isEmpty()) Export(file);
  });
  resize(360, 420);
  Refill();
}

void TWordListDialog::Refill() {
  FWords.Load();  // another window may have kept words meanwhile
  FList->clear();
  const auto tables = LearnerTables(SharedDictImages());
  for (const std::string& word : FWords.Words()) {
    QString text = QStringFromGbk(word);
    if (const int level = tables->Facts(word).Level)
      text += QStringLiteral("　HSK %1").arg(level);
    auto* item = new QListWidgetItem(text, FList);
    item->setData(Qt::UserRole, QByteArray::fromStdString(word));
  }
  FStatus->setText(QStringLiteral("%1 个词").arg(FWords.Words().size()));
  FExport->setEnabled(!FWords.Words().empty());
  FRemove->setEnabled(!FWords.Words().empty());
}

void TWordListDialog::RemoveSelected() {
  for (QListWidgetItem* item : FList->selectedItems())
    FWords.Remove(item->data(Qt::UserRole).toByteArray().toStdString());
  Refill();
}

bool TWordListDialog::Export(const QString& file) {
  std::vector<std::string> missing;
  const std::string bytes = AnkiFileOfWords(FWords.Words(), SharedDictImages(), missing);
  try {
    // Whole or not at all: a full disk leaves the file of before.
    WriteWholeFile(file.toStdString(), bytes);
  } catch (const EStreamError& e) {
    FStatus->setText(QStringLiteral("无法导出：") + QString::fromStdString(e.Message));
    return false;
  }
  QString status = QStringLiteral("已导出 %1 个词到 %2")
                       .arg(FWords.Words().size() - missing.size())
                       .arg(file);
  if (!missing.empty()) {
    QStringList names;
    for (const std::string& word : missing) names << QStringFromGbk(word);
    status += QStringLiteral("；词典里没有：") + names.join(QStringLiteral("、"));
  }
  FStatus->setText(status);
  return true;
}

}  // namespace velmora
