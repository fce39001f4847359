// The words a learner keeps (the star on the card), for the word list and
// its export to Anki. Kept in $XDG_DATA_HOME/velmora/words
// (~/.local/share/velmora/words): GBK text, one word (a dictionary key) a
// line, in the order they were kept. Every change is written at once, as
// the history is: under a lock, the file read again and this window's
// change applied to what it holds then, written to a temporary file that is
// synced and renamed over the old one, so that a crash leaves the old list
// or the new one and windows open at once keep each other's words.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class TWordList {
 public:
  // file: where the list is kept; empty keeps it for this run only.
  explicit TWordList(std::string file = {});

  // Reads the file. A missing file is an empty list; lines that are not
  // words (empty, too long, with a NUL) are skipped with a message on
  // standard error.
  void Load();
  bool Contains(const std::string& word) const;
  // Each writes the file at once and is then true. False, with a message
  // on standard error, when it could not be locked (within two seconds) or
  // written: then nothing changed, in the file or in memory.
  bool Add(const std::string& word);
  bool Remove(const std::string& word);

  const std::vector<std::string>& Words() const { return words_; }
  const std::string& File() const { return file_; }

  // The longest word kept, in bytes.
  static constexpr std::size_t kMaxWordBytes = 256;

 private:
  bool Save(const std::string& word, bool add);

  std::string file_;
  std::vector<std::string> words_;
};

}  // namespace velmora
