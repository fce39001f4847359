// Writes the learner's side tables as UTF-8 text; scripts/make-learner-tables
// turns them into GBK and sorts them by their bytes.
//
//   node pack-learner-tables.js LEXICON_DIR UNIHAN_IRG.txt CJKRadicals.txt OUTDIR
//
// OUTDIR/hsk.u8       "WORD<TAB>LEVEL": the HSK 2.0 level (1..6) of each word
//                     of the word lists in chinese-lexicon's statistics/hsk.js.
//                     A word listed at two levels has the higher, as the
//                     package's own lookup gives it.
// OUTDIR/radicals.u8  "CHAR<TAB>RADICAL<TAB>STROKES": for each ideograph GBK
//                     can hold, the radical of Unihan's kRSUnicode (its first
//                     value, a simplified radical where it is marked so) as
//                     the ideograph CJKRadicals.txt gives for it, and the
//                     first value of kTotalStrokes.
"use strict";
const fs = require("fs");
const path = require("path");
const vm = require("vm");

const [lexicon, unihan, radicalsFile, out] = process.argv.slice(2);
if (!out) {
  console.error("usage: pack-learner-tables.js LEXICON_DIR UNIHAN_IRG.txt CJKRadicals.txt OUTDIR");
  process.exit(2);
}

function fail(message) {
  console.error("pack-learner-tables: " + message);
  process.exit(2);
}

// The lists as the module defines them, without running its lookups.
function hskLevels() {
  const file = path.join(lexicon, "statistics", "hsk.js");
  const source = fs.readFileSync(file, "utf8");
  const context = {module: {}};
  vm.runInNewContext(source + "\n;this.__lists = hsk;", context);
  const lists = context.__lists;
  if (!Array.isArray(lists) || lists.length !== 6) fail(file + " does not hold six HSK word lists");
  const levels = new Map();
  lists.forEach((words, i) => {
    for (const word of words) levels.set(word, i + 1);
  });
  return levels;
}

// Every character of a double-byte GBK code, so that no line holds one the
// dictionary's encoding lacks.
function gbkCharacters() {
  const decoder = new TextDecoder("gbk", {fatal: true});
  const chars = new Set();
  for (let lead = 0x81; lead <= 0xfe; ++lead) {
    for (let trail = 0x40; trail <= 0xfe; ++trail) {
      if (trail === 0x7f) continue;
      try {
        const c = decoder.decode(Uint8Array.of(lead, trail));
        if ([...c].length === 1) chars.add(c);
      } catch (e) {
        // not a character of GBK
      }
    }
  }
  return chars;
}

function radicalCharacters() {
  const byNumber = new Map();
  for (const line of fs.readFileSync(radicalsFile, "utf8").split("\n")) {
    const m = line.match(/^(\d+'?);\s*[0-9A-F]*;\s*([0-9A-F]+)/);
    if (m) byNumber.set(m[1], String.fromCodePoint(parseInt(m[2], 16)));
  }
  if (!byNumber.has("39")) fail(radicalsFile + " holds no radicals");
  return byNumber;
}

function strokeFacts(gbk, radicals) {
  const rs = new Map(), total = new Map();
  for (const line of fs.readFileSync(unihan, "utf8").split("\n")) {
    const m = line.match(/^U\+([0-9A-F]+)\t(kRSUnicode|kTotalStrokes)\t(\S+)/);
    if (!m) continue;
    const c = String.fromCodePoint(parseInt(m[1], 16));
    if (!gbk.has(c)) continue;
    (m[2] === "kRSUnicode" ? rs : total).set(c, m[3]);
  }
  const lines = [];
  for (const [c, value] of rs) {
    const radical = radicals.get(value.split(".")[0]);
    const strokes = total.get(c);
    if (!radical || !strokes) continue;
    lines.push(c + "\t" + radical + "\t" + strokes + "\n");
  }
  if (lines.length < 20000) fail(unihan + " gives radicals for only " + lines.length + " characters");
  return lines;
}

const gbk = gbkCharacters();
const hsk = [];
for (const [word, level] of hskLevels()) {
  if ([...word].every((c) => gbk.has(c))) hsk.push(word + "\t" + level + "\n");
}
fs.writeFileSync(path.join(out, "hsk.u8"), hsk.join(""));
fs.writeFileSync(path.join(out, "radicals.u8"), strokeFacts(gbk, radicalCharacters()).join(""));
console.log("pack-learner-tables: " + hsk.length + " HSK words");
