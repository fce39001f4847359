// Results as you type, measured in the real window: the extended search is
// turned on and words are typed into the query box one key at a time.
#pragma once

namespace velmora {

class TForm4;

struct TTypingOptions {
  int Rounds = 10;          // each word typed this many times
  int KeyIntervalMs = 100;  // a key at most this often, as a fast typist
};

// Prints, per key and over all keys, the time from the key to the first
// painted screen of its results (p50, p95, worst) and, as the baseline, the
// headless extended search of the same text; checks after every word that
// the view equals a fresh search of the word. Returns false when it does
// not.
bool RunTypingBench(TForm4& form, const TTypingOptions& options);

}  // namespace velmora
