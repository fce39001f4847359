// Packs the per-character JSON files of the stroke-order data into one file
// that the reader (strokes/StrokeData.cpp) looks characters up in without
// parsing the rest. Called by scripts/make-strokes:
//
//   node scripts/pack-strokes.js PACKAGE_DIR OUT.bin
//
// Layout, all integers little-endian:
//   header   "VLMSTRK1", u32 character count N, u32 box size (1024)
//   index    N x (u32 code point, u32 record offset), code points ascending,
//            then u32 end of the last record (the file size)
//   records  one per character:
//            varint stroke count; per stroke: varint segment count S, then
//            ceil(S/4) bytes of 2-bit segment kinds (1 line, 2 quadratic,
//            3 cubic; lowest bits first), then the points: the start point,
//            then 1, 2 or 3 points per segment; then varint median point
//            count and the median points.
//   Points are zigzag varint differences from the previous point of the same
//   stroke's outline (or median), starting from (0, 0), in a box of 1024
//   units with y pointing down. Every outline is one closed figure.
"use strict";
const fs = require("fs");
const path = require("path");

const [dir, outFile] = process.argv.slice(2);
if (!dir || !outFile) {
  console.error("usage: node pack-strokes.js PACKAGE_DIR OUT.bin");
  process.exit(2);
}

// The data's outlines live in a 1024 box with y up and the baseline at 900.
const toX = (x) => Math.round(x);
const toY = (y) => Math.round(900 - y);

function fail(file, message) {
  console.error(`pack-strokes: ${file}: ${message}`);
  process.exit(2);
}

class Writer {
  constructor() {
    this.bytes = [];
  }
  varint(n) {
    if (!Number.isInteger(n) || n < 0) throw new Error(`bad varint ${n}`);
    while (n >= 0x80) {
      this.bytes.push((n & 0x7f) | 0x80);
      n = Math.floor(n / 128);
    }
    this.bytes.push(n);
  }
  signed(n) {
    this.varint(n >= 0 ? 2 * n : -2 * n - 1);
  }
}

// Parses one outline into its start point and segments, checking that it is
// exactly one figure: M, then L/Q/C, then Z.
function parseOutline(file, text) {
  const tokens = text.trim().split(/[\s,]+/);
  let i = 0;
  const number = () => {
    const t = tokens[i++];
    const v = Number(t);
    if (t === undefined || !Number.isFinite(v)) fail(file, `bad number '${t}' in '${text}'`);
    return v;
  };
  const point = () => {
    const x = number();
    return [toX(x), toY(number())];
  };
  if (tokens[i++] !== "M") fail(file, `outline does not start with M: '${text}'`);
  const start = point();
  const segments = [];
  const sizes = { L: 1, Q: 2, C: 3 };
  for (;;) {
    const op = tokens[i++];
    if (op === "Z") break;
    if (!(op in sizes)) fail(file, `unexpected '${op}' in '${text}'`);
    const points = [];
    for (let k = 0; k < sizes[op]; ++k) points.push(point());
    segments.push({ kind: sizes[op], points });
  }
  if (i !== tokens.length) fail(file, `more than one figure in '${text}'`);
  return { start, segments };
}

function packCharacter(file, data) {
  const w = new Writer();
  if (!Array.isArray(data.strokes) || !Array.isArray(data.medians) ||
      data.strokes.length !== data.medians.length || data.strokes.length === 0)
    fail(file, "strokes and medians do not match");
  w.varint(data.strokes.length);
  data.strokes.forEach((text, s) => {
    const { start, segments } = parseOutline(file, text);
    w.varint(segments.length);
    for (let k = 0; k < segments.length; k += 4) {
      let byte = 0;
      for (let j = 0; j < 4 && k + j < segments.length; ++j) byte |= segments[k + j].kind << (2 * j);
      w.bytes.push(byte);
    }
    let last = [0, 0];
    const put = (p) => {
      w.signed(p[0] - last[0]);
      w.signed(p[1] - last[1]);
      last = p;
    };
    put(start);
    for (const seg of segments) seg.points.forEach(put);
    const median = data.medians[s];
    if (!Array.isArray(median) || median.length === 0) fail(file, "empty median");
    w.varint(median.length);
    last = [0, 0];
    for (const p of median) put([toX(p[0]), toY(p[1])]);
  });
  return Buffer.from(w.bytes);
}

const entries = [];
for (const name of fs.readdirSync(dir)) {
  if (!name.endsWith(".json") || name === "package.json") continue;
  const chars = [...name.slice(0, -5)];
  if (chars.length !== 1) continue;
  const data = JSON.parse(fs.readFileSync(path.join(dir, name), "utf8"));
  entries.push({ cp: chars[0].codePointAt(0), record: packCharacter(name, data) });
}
if (entries.length === 0) fail(dir, "no character files");
entries.sort((a, b) => a.cp - b.cp);

const headerSize = 16;
const indexSize = entries.length * 8 + 4;
const header = Buffer.alloc(headerSize + indexSize);
header.write("VLMSTRK1", 0, "latin1");
header.writeUInt32LE(entries.length, 8);
header.writeUInt32LE(1024, 12);
let offset = headerSize + indexSize;
entries.forEach((e, k) => {
  header.writeUInt32LE(e.cp, headerSize + 8 * k);
  header.writeUInt32LE(offset, headerSize + 8 * k + 4);
  offset += e.record.length;
});
header.writeUInt32LE(offset, headerSize + 8 * entries.length);
fs.writeFileSync(outFile, Buffer.concat([header, ...entries.map((e) => e.record)]));
console.log(`pack-strokes: ${entries.length} characters, ${offset} bytes`);
