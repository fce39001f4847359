// The extended search: beside the standard one, never instead of it. It
// reads a query in one of three ways:
//
// - With "*" or "?" standing as characters of their own: a wildcard over
//   the whole key (TWildcard).
// - With Chinese characters: the standard containment search, three passes
//   and all; where the query holds traditional characters, their simplified
//   form is looked for too, in the same passes, so an entry is listed once.
// - Latin letters (with tone digits or marks, ü as ü, v or u:, spaces and
//   apostrophes, in any case): a reading search (pinyin::TReadingQuery) and
//   an English search (english::TWordsQuery) together, ranked; a key made
//   of the very letters or digits first.
//
// Full-width letters, ？ and ＊, and curly apostrophes read as their plain
// forms (PlainQuery).
//
// The view keeps the standard heading, status line and entry formats; the
// parts of a key or explanation that matched are marked in MatchColor.
//
// No index: each file's image is swept once for the few byte strings any
// match must hold (TNeedleFinder), and only the lines around them are split
// and tested, so a search costs about what reading the files costs.
//
// Stopping: like the standard search it asks its run whenever pending
// messages have run and before every entry it shows (TSearchRun::Stopped,
// Superseded).
#pragma once

#include <string_view>

#include "dict/SearchRun.h"

namespace velmora {

enum class TExtendedKind { Wildcard, Chinese, Latin };

// How the extended search reads a query (GBK, as typed).
TExtendedKind ExtendedKindOf(std::string_view query);

// Ranks of a Latin query's entries, best first. Inside a rank shorter keys
// come first, then the order of the files.
enum class TLatinRank {
  Key,             // the key itself, letters in either case (PK, 996, Tony)
  ReadingExact,    // the whole reading, every tone as typed
  ReadingWhole,    // the whole reading, tones not all given
  SenseEqual,      // a sense that says just the query
  SenseEqualForm,  // the same with a word in its dictionary form (dogs: dog)
  ReadingPrefix,   // a reading that begins with the query
  SenseWords,      // the query's words inside a sense
  SenseWordsForm,  // the same with a word in its dictionary form
};

// The run has started and the view is empty.
TSearchOutcome RunExtendedSearch(TSearchRun& run, const TSearchQuery& query,
                                 const TExtendedDisplay& display = {});

}  // namespace velmora
