#!/usr/bin/env python3
"""Writes data/frequency.txt and data/traditional.txt (see make-word-tables).

Both are GBK text with LF line ends, so that their keys are the very bytes of
the dictionary's keys, and both are sorted, so the same inputs give the same
bytes. Lines starting with '#' are remarks.

frequency.txt: "KEY<TAB>COUNT" for every distinct key of 1.sr..5.sr that the
word list counts, sorted by the key's bytes. COUNT is the word's count in the
list. A "#total N" line gives the sum of the list's counts. Keys the list does
not have are left out: the reader ranks them as rare. A character read in more
than one way also has a line "KEY[READING]<TAB>COUNT" for each reading of its
entries (READING as the entry writes it): its count shared out by how often
the character is read that way inside the counted words of the dictionary
(见 is jian4 in 看见 and 意见, so its rare reading xian4 gets a small share).

traditional.txt: "FILE<TAB>OFFSET<TAB>SIMPLIFIED<TAB>TRADITIONAL" for every
entry whose traditional form differs from its key, where FILE is 1..5 and
OFFSET the byte offset of the entry's line in FILE.sr; sorted by file and
offset. A "#sizes S1 S2 S3 S4 S5" line gives the byte sizes of the five files
the offsets belong to. An entry is found in the files by its line's bytes,
the line cedict2sr makes of it; identical lines take their forms in order.
"""

import collections
import os
import re
import sys

ENTRY = re.compile(r"^(\S+) (\S+) \[([^\]]*)\] /(.*)/\s*$")
SEPARATOR = "\uff1a"  # the key separator, a fullwidth colon


def sr_line(simplified, pinyin, defs):
    senses = [d.strip() for d in defs.split("/") if d.strip()]
    return simplified + SEPARATOR + "[" + pinyin + "] " + "; ".join(senses)


def read_cedict(path):
    """Line text -> queue of traditional forms, in the source's order."""
    forms = collections.defaultdict(collections.deque)
    with open(path, encoding="utf-8") as f:
        for raw in f:
            if raw.startswith("#"):
                continue
            m = ENTRY.match(raw.rstrip("\r\n"))
            if not m:
                continue
            traditional, simplified, pinyin, defs = m.groups()
            forms[sr_line(simplified, pinyin, defs)].append(traditional)
    return forms


def read_counts(path):
    """Word -> count, the sum of all counts, and the particles: the words
    the list tags as structural or modal particles (u..., y)."""
    counts = {}
    particles = set()
    total = 0
    with open(path, encoding="utf-8") as f:
        for raw in f:
            parts = raw.split()
            if len(parts) < 2 or not parts[1].isdigit():
                continue
            word, count = parts[0], int(parts[1])
            total += count
            if len(parts) > 2 and (parts[2].startswith("u") or parts[2] == "y"):
                particles.add(word)
            # The list names a few words twice; the larger count stands.
            counts[word] = max(count, counts.get(word, 0))
    return counts, total, particles


def reading_lines(readings, counts, particles):
    """The lines of the characters read in more than one way."""
    # How often each character is read each way inside the counted words.
    seen = collections.defaultdict(collections.Counter)
    for word, word_readings in readings.items():
        count = counts.get(word, 0)
        if len(word) < 2 or count == 0:
            continue
        for reading in word_readings:
            syllables = reading.lower().split()
            if len(syllables) == len(word):
                for char, syllable in zip(word, syllables):
                    seen[char][syllable] += count
    lines = []
    for char, char_readings in readings.items():
        count = counts.get(char, 0)
        lowered = {r.lower() for r in char_readings}
        if len(char) != 1 or count == 0 or len(lowered) < 2:
            continue
        # One more for every reading, so that none is taken for never.
        weights = {r: seen[char][r] + 1 for r in lowered}
        # A particle standing alone (吗, 了, 的) is read in the neutral tone,
        # which words seldom show.
        if char in particles:
            for r in lowered:
                if r.endswith("5"):
                    weights[r] += count
        total = sum(weights.values())
        for reading in sorted(char_readings):
            share = count * weights[reading.lower()] // total
            lines.append(((char + "[" + reading + "]").encode("gbk"), max(share, 1)))
    return lines


def main():
    cedict, jieba, out = sys.argv[1:4]
    forms = read_cedict(cedict)
    counts, total, particles = read_counts(jieba)

    sizes = []
    traditional = []
    keys = set()
    readings = collections.defaultdict(set)  # character -> readings of its entries
    unmatched = 0
    for number in range(1, 6):
        data = open(os.path.join(out, f"{number}.sr"), "rb").read()
        sizes.append(len(data))
        offset = 0
        for line in data.split(b"\n"):
            here = offset
            offset += len(line) + 1
            if not line:
                continue
            text = line.decode("gbk", errors="replace")
            key, explanation = (text.split(SEPARATOR, 1) + [""])[:2]
            keys.add(key)
            if explanation.startswith("[") and "]" in explanation:
                readings[key].add(explanation[1:explanation.index("]")])
            queue = forms.get(text)
            if not queue:
                unmatched += 1
                continue
            form = queue.popleft()
            if form != key:
                traditional.append((number, here, key, form))

    freq_lines = [(k.encode("gbk"), counts[k]) for k in keys if counts.get(k, 0) > 0]
    freq_lines += reading_lines(readings, counts, particles)
    freq_lines.sort()
    with open(os.path.join(out, "frequency.txt"), "wb") as f:
        f.write(b"# Word counts of the dictionary's keys; see data/README.md\n")
        f.write(b"#total %d\n" % total)
        for key, count in freq_lines:
            f.write(key + b"\t%d\n" % count)

    with open(os.path.join(out, "traditional.txt"), "wb") as f:
        f.write(b"# Traditional forms of the entries; see data/README.md\n")
        f.write(b"#sizes " + b" ".join(b"%d" % s for s in sizes) + b"\n")
        for number, here, key, form in sorted(traditional):
            try:
                encoded = form.encode("gbk")
            except UnicodeEncodeError:
                continue
            f.write(b"%d\t%d\t" % (number, here) + key.encode("gbk") + b"\t" +
                    encoded + b"\n")

    print(f"make-word-tables: {len(freq_lines)} of {len(keys)} keys counted, "
          f"{len(traditional)} traditional forms, {unmatched} lines not in the source")


if __name__ == "__main__":
    main()
