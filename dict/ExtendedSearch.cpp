#include "dict/ExtendedSearch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/EnglishWords.h"
#include "dict/ExtendedDisplay.h"
#include "dict/ExtendedQuery.h"
#include "dict/Pinyin.h"
#include "dict/Prefilter.h"
#include "dict/Query.h"
#include "dict/Ranking.h"
#include "dict/SearchSteps.h"
#include "dict/Segmenter.h"
#include "dict/SentenceWords.h"
#include "dict/Simplified.h"
#include "dict/Texts.h"
#include "dict/Wildcard.h"
#include "dict/WordTables.h"

namespace velmora {

namespace {

using search::TCandidateMemo;
using search::TScanEnd;

// Every place a needle stands in text, on character boundaries.
TSpans SpansOf(std::string_view text, std::string_view needle) {
  TSpans spans;
  if (needle.empty()) return spans;
  for (std::size_t at = FindAtBoundary(text, needle); at != std::string_view::npos;
       at = FindAtBoundary(text, needle, at + LeadByteLengthAt(text, at)))
    spans.emplace_back(at, at + needle.size());
  return spans;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// Whether text begins with / holds needle (lower case), letters of text in
// either case. Bytes, not characters: these only sort out lines that
// can't match before the real tests.
bool StartsAnyCase(std::string_view text, std::string_view needle) {
  if (text.size() < needle.size()) return false;
  for (std::size_t k = 0; k < needle.size(); ++k)
    if (LowerAscii(text[k]) != needle[k]) return false;
  return true;
}

bool ContainsAnyCase(std::string_view text, std::string_view needle) {
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i)
    if (StartsAnyCase(text.substr(i), needle)) return true;
  return false;
}

// ---------------------------------------------------------------------------
// Chinese characters: the standard passes, over one or two forms of the
// query.

class TChineseSearch {
 public:
  TChineseSearch(std::vector<std::string> forms, TSearchRun& run,
                 const TExtendedDisplay& display)
      : forms_(std::move(forms)),
        run_(run),
        writer_(run, display),
        finder_(Needles(forms_)) {
    for (const std::string& f : forms_) matchers_.emplace_back(f);
    for (int number = 1; number <= 5; ++number)
      files_[number - 1] = run.Images().Open(DictFileName(number));
  }

  TScanEnd File(const std::shared_ptr<const TDictImage>& image, int pass,
                TCandidateMemo& memo) {
    // Which file it is, for the traditional forms; held while its lines
    // wait to be shown.
    image_ = image;
    number_ = 0;
    // A file read in pieces: the place of a line in it is not known.
    for (int number = 1; number <= 5 && image->Whole(); ++number)
      if (files_[number - 1] == image) number_ = number;
    held_.push_back(image);
    return search::ScanFile<TNeedleLines>(
        image, pass, finder_, memo, run_.Pacing().SliceBytes,
        [this] { return run_.Stopped(false); },
        [this, pass](std::string_view line) { return Test(line, pass); });
  }

  bool Found() const { return found_; }

 private:
  static TNeedleFinder Needles(const std::vector<std::string>& forms) {
    std::vector<TNeedle> needles;
    // A cleaned query has no ASCII letters, so its bytes are exact.
    for (const std::string& f : forms) needles.push_back(TNeedle{f, false, nullptr});
    return TNeedleFinder(std::move(needles));
  }

  bool In(std::string_view text) const {
    for (const TMatcher& m : matchers_)
      if (m.In(text)) return true;
    return false;
  }

 public:
  // With a frequency table, a pass's entries are shown when it ends, the
  // most common first (then shorter keys, then the files' order); without
  // one, each as it is found, as the standard search shows them.
  TScanEnd EndPass() {
    if (!frequency_) {
      held_.clear();
      return TScanEnd::Done;
    }
    for (TPending& p : pending_) {
      const TEntry entry = SplitLine(p.Line);
      p.Weight = ranking::EntryWeight(entry, frequency_.get());
      p.KeyChars = ranking::CharCount(BareKey(entry.Key));
    }
    std::stable_sort(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
      return a.Weight != b.Weight ? a.Weight > b.Weight : a.KeyChars < b.KeyChars;
    });
    const std::vector<TPending> pending = std::move(pending_);
    pending_.clear();
    for (const TPending& p : pending) {
      if (run_.Superseded()) return TScanEnd::Stopped;
      Show(SplitLine(p.Line), p.Pass, p.File, p.Offset);
      if (run_.Stopped(true)) return TScanEnd::Stopped;
    }
    held_.clear();
    copies_.clear();
    return TScanEnd::Done;
  }

 private:
  struct TPending {
    std::string_view Line;
    int Pass = 0;
    int File = 0;
    std::size_t Offset = 0;
    std::uint64_t Weight = 0;
    std::size_t KeyChars = 0;
  };

  TScanEnd Test(std::string_view line, int pass) {
    const TEntry entry = SplitLine(line);
    const bool keyMatch = In(entry.Key);
    bool shown = false;
    if (pass < 3 ? keyMatch : !keyMatch && In(entry.Explanation)) {
      found_ = true;
      const std::size_t offset =
          number_ ? std::size_t(line.data() - image_->Bytes().data()) : 0;
      if (!frequencyRead_) {
        frequency_ = WordFrequency(run_.Images());
        frequencyRead_ = true;
      }
      if (frequency_) {
        // The lines of a piece are gone by the end of the pass: copied.
        if (!image_->Whole()) line = copies_.emplace_back(line);
        pending_.push_back(TPending{line, pass, number_, offset});
        return run_.Stopped(false) ? TScanEnd::Stopped : TScanEnd::Done;
      }
      if (run_.Superseded()) return TScanEnd::Stopped;
      Show(entry, pass, number_, offset);
      shown = true;
    }
    return run_.Stopped(shown) ? TScanEnd::Stopped : TScanEnd::Done;
  }

  void Show(const TEntry& entry, int pass, int file, std::size_t offset) {
    TSpans keyMarks;
    if (pass < 3)
      for (const std::string& f : forms_)
        for (const auto& span : SpansOf(entry.Key, f)) keyMarks.push_back(span);
    writer_.Show(entry, file, offset, keyMarks, [&](std::string_view text) {
      TSpans marks;
      if (pass == 3)
        for (const std::string& f : forms_)
          for (const auto& span : SpansOf(text, f)) marks.push_back(span);
      return marks;
    });
  }

  std::vector<std::string> forms_;
  std::vector<TMatcher> matchers_;
  TSearchRun& run_;
  TEntryWriter writer_;
  TNeedleFinder finder_;
  std::shared_ptr<const TDictImage> files_[5];
  std::shared_ptr<const TDictImage> image_;
  int number_ = 0;
  bool found_ = false;
  // Read at the first entry found: a query that finds nothing never reads
  // the table.
  std::shared_ptr<const TWordFrequency> frequency_;
  bool frequencyRead_ = false;
  std::vector<TPending> pending_;
  std::vector<std::shared_ptr<const TDictImage>> held_;
  std::deque<std::string> copies_;  // pending lines of files read in pieces
};

// ---------------------------------------------------------------------------
// Whether some entry's key is the query itself: one look through the file
// of its length.
bool IsKey(const std::string& query, TSearchRun& run) {
  const std::shared_ptr<const TDictImage> image = run.Open(OwnFileNumber(query));
  if (!image) return false;
  const std::string_view bytes = image->Bytes();
  const std::string line = std::string(query) + std::string(kKeySeparator);
  if (bytes.starts_with(line)) return true;
  const TSubstringFinder finder("\n" + line);
  return finder.Find(bytes, 0) != std::string_view::npos;
}

// The simplified form of a query, where it has another: the data's own
// pairs decide first (the traditional table), then the general conversion.
// A query that is a key itself stays as it is (乾 is a key of its own, not
// only the traditional form of 干).
std::string SimplifiedQuery(const std::string& query, TSearchRun& run) {
  if (const auto table = TraditionalForms(run.Images())) {
    const std::string_view pair = table->SimplifiedOf(query);
    if (!pair.empty()) return IsKey(query, run) ? query : std::string(pair);
  }
  std::string simplified = ToSimplified(query);
  if (simplified != query && IsKey(query, run)) return query;
  return simplified;
}

TSearchOutcome RunChinese(const std::string& query, TSearchRun& run,
                          const TExtendedDisplay& display) {
  const TSearchOutcome outcome = search::ScanThreePasses(query, run, [&] {
    std::vector<std::string> forms{query};
    if (std::string simplified = SimplifiedQuery(query, run); simplified != query)
      forms.push_back(std::move(simplified));
    return TChineseSearch(std::move(forms), run, display);
  });
  // Nothing holds the whole query: a sentence, perhaps. The not-found
  // message written last is replaced before the view is painted again.
  if (outcome != TSearchOutcome::NotFound) return outcome;
  const TSearchOutcome words = ShowSentence(SimplifiedQuery(query, run), run, display);
  return words == TSearchOutcome::NotFound ? outcome : words;
}

// ---------------------------------------------------------------------------
// Wildcards and Latin letters: every file once, in order; the entries are
// gathered, ranked and then shown.

struct THit {
  int Rank = 0;
  int File = 0;
  std::size_t Offset = 0;
  std::uint64_t Weight = 0;  // ranking::EntryWeight
  std::size_t KeyChars = 0;
  std::string_view Line;
};

// The group of a rank: the answers that say just the query, as a reading
// or as a sense, rank together, by how common they are, then the ones that
// begin with it or hold it, so that a query that is both an English word
// and a reading ("you") lists the common answers of both kinds first.
//
// A key that is the query itself comes before all, and a match through a
// word's dictionary form after the same match of the word itself, so that
// "goods" lists what says goods before what says good.
bool EnglishMatch(int rank) {
  switch (TLatinRank(rank)) {
    case TLatinRank::SenseEqual:
    case TLatinRank::SenseEqualForm:
    case TLatinRank::SenseWords:
    case TLatinRank::SenseWordsForm:
      return true;
    default:
      return false;
  }
}

int Group(int rank) {
  switch (TLatinRank(rank)) {
    case TLatinRank::Key:
      return 0;
    case TLatinRank::ReadingExact:
    case TLatinRank::ReadingWhole:
    case TLatinRank::SenseEqual:
      return 1;
    case TLatinRank::SenseEqualForm:
      return 2;
    case TLatinRank::ReadingPrefix:
    case TLatinRank::SenseWords:
      return 3;
    case TLatinRank::SenseWordsForm:
      return 4;
  }
  return 3;
}

// How a gathered search tests a line and marks what it shows.
class ILineTest {
 public:
  virtual ~ILineTest() = default;
  // The rank of a line that matches.
  virtual std::optional<int> Rank(const TEntry& entry) const = 0;
  virtual TSpans KeyMarks(std::string_view bareKey) const = 0;
  virtual TSpans TextMarks(std::string_view shownText) const = 0;
  // True when the query may still be growing into something that matches
  // (a reading being typed): then finding nothing is no failure yet.
  virtual bool MayGrow() const { return false; }
  // The English word the senses are searched for, lower case; empty for none.
  virtual std::string_view Word() const { return {}; }
};

// A pattern over the keys, as typed and, where its characters have a
// simplified form, in that form too (學* finds 学生).
class TWildcardTest : public ILineTest {
 public:
  explicit TWildcardTest(std::vector<TWildcard> patterns)
      : patterns_(std::move(patterns)) {}
  std::optional<int> Rank(const TEntry& entry) const override {
    for (const TWildcard& p : patterns_)
      if (p.Match(BareKey(entry.Key))) return 0;
    return std::nullopt;
  }
  TSpans KeyMarks(std::string_view bareKey) const override {
    TSpans spans;
    for (const TWildcard& p : patterns_)
      if (p.Match(bareKey, &spans)) break;
    return spans;
  }
  TSpans TextMarks(std::string_view) const override { return {}; }
  std::vector<TNeedle> Needles() const {
    std::vector<TNeedle> needles;
    for (const TWildcard& p : patterns_)
      needles.push_back(TNeedle{p.Needle(), true, nullptr});
    return needles;
  }

 private:
  std::vector<TWildcard> patterns_;
};

class TLatinTest : public ILineTest {
 public:
  TLatinTest(std::string_view typed, std::optional<pinyin::TReadingQuery> reading,
             std::optional<english::TWordsQuery> words)
      : reading_(std::move(reading)), words_(std::move(words)) {
    for (char c : Trimmed(typed)) key_.push_back(LowerAscii(c));
    // What the reading's needle asks of the explanation: "[" and the
    // beginning of the first syllable.
    if (reading_) readingStart_ = reading_->Needle().substr(kKeySeparator.size());
  }

  std::optional<int> Rank(const TEntry& entry) const override {
    if (IsKey(BareKey(entry.Key))) return int(TLatinRank::Key);
    std::optional<int> best;
    // Most candidates hold only one of the needles, or hold it elsewhere:
    // a quick look at the bytes spares them the full tests.
    if (reading_ && StartsAnyCase(entry.Explanation, readingStart_)) {
      if (const std::optional<std::string_view> r =
              pinyin::ReadingOf(entry.Explanation)) {
        switch (reading_->Match(*r)) {
          case pinyin::TReadingMatch::Exact:
            return int(TLatinRank::ReadingExact);
          case pinyin::TReadingMatch::Whole:
            return int(TLatinRank::ReadingWhole);
          case pinyin::TReadingMatch::Prefix:
            best = int(TLatinRank::ReadingPrefix);
            break;
          case pinyin::TReadingMatch::None:
            break;
        }
      }
    }
    if (words_ && ContainsAnyCase(entry.Explanation, words_->Needle())) {
      switch (words_->Match(entry.Explanation)) {
        case english::TWordsMatch::Equal:
          return int(TLatinRank::SenseEqual);
        case english::TWordsMatch::EqualForm:
          return int(TLatinRank::SenseEqualForm);
        case english::TWordsMatch::Words:
          if (!best) best = int(TLatinRank::SenseWords);
          break;
        case english::TWordsMatch::WordsForm:
          if (!best) best = int(TLatinRank::SenseWordsForm);
          break;
        case english::TWordsMatch::None:
          break;
      }
    }
    return best;
  }
  TSpans KeyMarks(std::string_view bareKey) const override {
    if (IsKey(bareKey)) return {{0, bareKey.size()}};
    return {};
  }
  bool MayGrow() const override { return reading_ && reading_->CanGrow(); }
  std::string_view Word() const override { return words_ ? key_ : std::string_view(); }
  TSpans TextMarks(std::string_view text) const override {
    TSpans spans;
    if (reading_) {
      if (const std::optional<std::string_view> r = pinyin::ReadingOf(text)) {
        std::size_t end = 0;
        if (reading_->Match(*r, &end) != pinyin::TReadingMatch::None)
          spans.emplace_back(1, 1 + end);
      }
    }
    if (words_) words_->Match(text, &spans);
    return spans;
  }

  // The needles, each with a second look that passes over most places
  // where its bytes stand without a match: a reading that doesn't match
  // here, a word that is part of a longer one.
  std::vector<TNeedle> Needles() const {
    std::vector<TNeedle> needles;
    if (std::optional<TNeedle> shared = SharedNeedle()) {
      needles.push_back(std::move(*shared));
      return needles;
    }
    if (reading_) {
      needles.push_back(TNeedle{reading_->Needle(), true,
                                [this](std::string_view text, std::size_t at) {
                                  return ReadingMayMatch(text, at);
                                }});
    }
    if (words_) {
      needles.push_back(
          TNeedle{words_->Needle(), true, [this](std::string_view text, std::size_t at) {
                    return words_->NeedleWordAt(text, at);
                  }});
    }
    return needles;
  }

 private:
  // A query of letters is nearly always read both ways, and the first
  // syllable's letters then stand inside the longest word ("qiong" in
  // "qiongzhuai", "xi" in "xian"). Those letters alone find every place
  // either needle stands, and one needle is searched much faster than two;
  // the second look decides which of the two stands there, if any.
  std::optional<TNeedle> SharedNeedle() const {
    if (!reading_ || !words_) return std::nullopt;
    const std::string prefix = reading_->Needle();  // the separator, "[", letters
    const std::string& word = words_->Needle();
    const std::size_t before = kKeySeparator.size() + 1;
    const std::string letters = prefix.substr(before);
    const std::size_t inWord = letters.empty() ? std::string::npos : word.find(letters);
    if (inWord == std::string::npos) return std::nullopt;
    const std::string bracket = prefix.substr(0, before);
    return TNeedle{
        letters, true,
        [this, bracket, inWord, size = word.size()](std::string_view text,
                                                    std::size_t at) {
          if (at >= bracket.size() && text[at - 1] == '[' &&
              text.compare(at - bracket.size(), bracket.size(), bracket) == 0 &&
              ReadingMayMatch(text, at - bracket.size()))
            return true;
          if (at < inWord) return false;
          const std::size_t from = at - inWord;
          // Past the end of text: it may be there.
          if (from + size > text.size()) return true;
          return StartsAnyCase(text.substr(from), words_->Needle()) &&
                 words_->NeedleWordAt(text, from);
        }};
  }

  // at holds the separator before "[": the reading that follows it, if the
  // line ends within text.
  bool ReadingMayMatch(std::string_view text, std::size_t at) const {
    const std::size_t from = at + kKeySeparator.size();
    // It stops at the line's end, which is no letter.
    if (!reading_->MayBeginWith(text.substr(from + 1))) return false;
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return true;
    const std::optional<std::string_view> reading =
        pinyin::ReadingOf(text.substr(from, end - from));
    return reading && reading_->Match(*reading) != pinyin::TReadingMatch::None;
  }

  // The key is the query itself (a key of letters or digits).
  bool IsKey(std::string_view bareKey) const {
    if (bareKey.size() != key_.size()) return false;
    for (std::size_t k = 0; k < key_.size(); ++k)
      if (LowerAscii(bareKey[k]) != key_[k]) return false;
    return true;
  }

  std::optional<pinyin::TReadingQuery> reading_;
  std::optional<english::TWordsQuery> words_;
  std::string readingStart_;
  std::string key_;  // the query, trimmed, letters lowered
};

TSearchOutcome RunGathered(const std::string& shown, const ILineTest& test,
                           const TNeedleFinder& finder, TSearchRun& run,
                           const TExtendedDisplay& display) {
  TResultView& view = run.View();
  std::vector<std::shared_ptr<const TDictImage>> held;
  std::deque<std::string> copies;  // lines of files read in pieces
  std::vector<THit> hits;
  int missing = 0;
  for (int number = 1; number <= 5 && !missing; ++number) {
    std::shared_ptr<const TDictImage> image = run.Open(number);
    if (!image) {
      if (number == 1) return run.OwnFileMissing();
      missing = number;
      break;
    }
    if (number == 1) run.ShowHeading(shown);
    TDictPieces pieces(*image);
    for (std::string_view piece; pieces.Next(piece);) {
      TNeedleLines lines(piece, finder, run.Pacing().SliceBytes);
      std::string_view line;
      for (;;) {
        const TNeedleLines::TStep step = lines.Next(line);
        if (step == TNeedleLines::TStep::End) break;
        if (step == TNeedleLines::TStep::Line) {
          const TEntry entry = SplitLine(line);
          if (const std::optional<int> rank = test.Rank(entry)) {
            if (image->Whole()) {
              hits.push_back(THit{*rank, number,
                                  std::size_t(line.data() - image->Bytes().data()), 0, 0,
                                  line});
            } else {
              // A piece is gone by the time the hits are shown: its lines
              // are copied, and their place in the file is not known.
              hits.push_back(THit{*rank, 0, 0, 0, 0, copies.emplace_back(line)});
            }
          }
        }
        if (run.Stopped(false)) return TSearchOutcome::Stopped;
      }
    }
    held.push_back(std::move(image));
  }

  // Gathered in the order of the files, so a stable sort keeps it inside
  // equal ranks and key lengths. Without a frequency table every weight is
  // 0, and the order is by rank alone.
  const std::shared_ptr<const TWordFrequency> frequency =
      hits.empty() ? nullptr : WordFrequency(run.Images());
  for (THit& hit : hits) {
    const TEntry entry = SplitLine(hit.Line);
    hit.KeyChars = ranking::CharCount(BareKey(entry.Key));
    hit.Weight = ranking::EntryWeight(entry, frequency.get());
    if (EnglishMatch(hit.Rank))
      hit.Weight = ranking::SenseShare(hit.Weight, entry.Explanation, test.Word());
  }
  std::stable_sort(hits.begin(), hits.end(), [](const THit& a, const THit& b) {
    if (Group(a.Rank) != Group(b.Rank)) return Group(a.Rank) < Group(b.Rank);
    if (a.Weight != b.Weight) return a.Weight > b.Weight;
    if (a.Rank != b.Rank) return a.Rank < b.Rank;
    return a.KeyChars < b.KeyChars;
  });
  TEntryWriter writer(run, display);
  for (const THit& hit : hits) {
    if (run.Superseded()) return TSearchOutcome::Stopped;
    const TEntry entry = SplitLine(hit.Line);
    writer.Show(entry, hit.File, hit.Offset, test.KeyMarks(BareKey(entry.Key)),
                [&test](std::string_view text) { return test.TextMarks(text); });
    if (run.Stopped(true)) return TSearchOutcome::Stopped;
  }
  if (missing) return run.OtherFileMissing(missing);
  if (hits.empty() && test.MayGrow()) {
    // Letters on their way to a reading: no failure yet.
    view.ReplaceLine(1, texts::kFinished);
    view.AppendLine(texts::kMoreLetters);
    view.HighlightAdded(texts::kMoreLetters, 2, ExplanationColor);
    return TSearchOutcome::NotFound;
  }
  return run.Finish(!hits.empty());
}

bool HasWildcard(std::string_view query) {
  for (std::size_t i = 0; i < query.size(); i += LeadByteLengthAt(query, i))
    if (query[i] == '*' || query[i] == '?') return true;
  return false;
}

// A double-byte character other than the tone-marked vowels and ü of
// pinyin (A8A1..A8BA).
bool HasChinese(std::string_view query) {
  for (std::size_t i = 0; i < query.size(); i += LeadByteLengthAt(query, i)) {
    if (LeadByteLengthAt(query, i) == 1) continue;
    const unsigned char lead = static_cast<unsigned char>(query[i]);
    const unsigned char trail = static_cast<unsigned char>(query[i + 1]);
    if (!(lead == 0xA8 && trail >= 0xA1 && trail <= 0xBA)) return true;
  }
  return false;
}

}  // namespace

TExtendedKind ExtendedKindOf(std::string_view query) {
  if (HasWildcard(query)) return TExtendedKind::Wildcard;
  if (HasChinese(query)) return TExtendedKind::Chinese;
  if (pinyin::TReadingQuery::Parse(query) || english::TWordsQuery::Parse(query))
    return TExtendedKind::Latin;
  // Nothing the extended search reads: the standard cleaning decides.
  return TExtendedKind::Chinese;
}

TSearchOutcome RunExtendedSearch(TSearchRun& run, const TSearchQuery& query,
                                 const TExtendedDisplay& display) {
  const std::string trimmed(TrimBlanks(query.Typed));
  // A character GBK cannot hold came as "?": never a wildcard.
  if (!query.Unencodable.empty()) {
    const std::string message = UnencodableQueryMessage(query.Unencodable);
    run.View().AppendLine(message);
    run.View().HighlightAdded(message, 2, clRed);
    return TSearchOutcome::InvalidQuery;
  }
  const std::string typed = PlainQuery(trimmed);
  switch (ExtendedKindOf(typed)) {
    case TExtendedKind::Chinese:
      // As typed: a Chinese query lists what the standard search lists.
      return RunChinese(CleanQuery(trimmed), run, display);
    case TExtendedKind::Wildcard: {
      std::vector<TWildcard> patterns{*TWildcard::Parse(typed)};
      const std::string shown = patterns.front().Pattern();
      if (const std::string simplified = ToSimplified(typed); simplified != typed)
        if (std::optional<TWildcard> other = TWildcard::Parse(simplified))
          patterns.push_back(std::move(*other));
      const TWildcardTest test(std::move(patterns));
      const TNeedleFinder finder(test.Needles());
      return RunGathered(shown, test, finder, run, display);
    }
    case TExtendedKind::Latin: {
      const TLatinTest test(typed, pinyin::TReadingQuery::Parse(typed),
                            english::TWordsQuery::Parse(typed));
      const TNeedleFinder finder(test.Needles());
      return RunGathered(std::string(Trimmed(typed)), test, finder, run, display);
    }
  }
  return TSearchOutcome::InvalidQuery;
}

}  // namespace velmora
