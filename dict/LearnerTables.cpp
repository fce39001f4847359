#include "dict/LearnerTables.h"

#include <charconv>
#include <mutex>
#include <utility>

#include "platform/classes/Gbk.h"

namespace velmora {

namespace {

int ParseNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? value : 0;
}

}  // namespace

TKeyTable::TKeyTable(std::shared_ptr<const TDictImage> image)
    : TSideTable(std::move(image)) {
  Read<2>(
      [](const std::array<std::string_view, 2>& f) {
        return TKeyValueLine{f[0], f[1]};
      },
      ByKey);
}

std::optional<std::string_view> TKeyTable::Find(std::string_view key) const {
  if (const TKeyValueLine* line = FindKey(key)) return line->Value;
  return std::nullopt;
}

int FrequencyBand(std::size_t rank) {
  if (rank == 0) return 0;
  if (rank <= 1000) return 1;
  if (rank <= 3000) return 2;
  if (rank <= 10000) return 3;
  if (rank <= 30000) return 4;
  return 5;
}

TLearnerTables::TLearnerTables(std::shared_ptr<const TDictImage> hsk,
                               std::shared_ptr<const TDictImage> radicals,
                               std::shared_ptr<const TWordFrequency> frequency)
    : hsk_(std::move(hsk)),
      radicals_(std::move(radicals)),
      frequency_(std::move(frequency)) {}

bool TLearnerTables::Of(const TDictImage* hsk, const TDictImage* radicals,
                        const TWordFrequency* frequency) const {
  return hsk_.Image() == hsk && radicals_.Image() == radicals &&
         frequency_.get() == frequency;
}

TCardFacts TLearnerTables::Facts(std::string_view key) const {
  TCardFacts facts;
  if (const auto level = hsk_.Find(key)) {
    const int n = ParseNumber(*level);
    if (n >= 1 && n <= 6) facts.Level = n;
  }
  if (frequency_) facts.Band = FrequencyBand(frequency_->Rank(key));
  // One character: one double-byte pair of the code table.
  const bool character = key.size() == 2 && gbk::DecodedLengthAt(key, 0) == 2;
  if (const auto fields = character ? radicals_.Find(key) : std::nullopt) {
    const std::size_t tab = fields->find('\t');
    const std::string_view radical = fields->substr(0, tab);
    const int strokes =
        tab == std::string_view::npos ? 0 : ParseNumber(fields->substr(tab + 1));
    if (!radical.empty() && strokes > 0) {
      facts.Radical = std::string(radical);
      facts.Strokes = strokes;
    }
  }
  return facts;
}

std::shared_ptr<const TLearnerTables> LearnerTables(TDictImages& images) {
  // Kept for the images that made it: a search's image set lives for the
  // process, and the tables are cheap to index again when a file changed.
  static std::mutex lock;
  static std::shared_ptr<const TLearnerTables> last;
  const auto hsk = images.Open(std::string(kHskFileName));
  const auto radicals = images.Open(std::string(kRadicalsFileName));
  const auto frequency = WordFrequency(images);
  const std::lock_guard<std::mutex> guard(lock);
  if (!last || !last->Of(hsk.get(), radicals.get(), frequency.get()))
    last = std::make_shared<const TLearnerTables>(hsk, radicals, frequency);
  return last;
}

}  // namespace velmora
