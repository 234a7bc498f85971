// The embedded data source: lines in gzip pieces decoded when needed, a
// page of hits at a time, the line store filling its chunks across pieces.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const zlib = require("node:zlib");
const { loadParts, reportOf } = require("./load");

const parts = loadParts();
const source = parts.use("source");
const { lineStore, LINE_CHUNK } = parts.use("lines");

// An embedded report: `lines` cut into pieces of `pieceLines`, as tarnview html writes them.
function embedded(report, lines, pieceLines) {
  const pieces = [];
  const texts = [];
  for (let from = 0; from < lines.length; from += pieceLines) {
    const held = lines.slice(from, from + pieceLines);
    pieces.push({ from, count: held.length });
    texts.push(zlib.gzipSync(JSON.stringify(held)).toString("base64"));
  }
  return { data: { report, pieces }, texts };
}

// One region (lines 0 to 2001) around 2000 lines of text, a line after it.
function sampleLines() {
  const report = reportOf([["Details", "table", [], 2000]], 1);
  const lines = Array.from({ length: report.lineCount }, (_, line) => ["t", null, `row ${line} ${line % 3 ? "x" : "NAME"}`]);
  lines[0] = ["r", "0000e1", "Details"];
  lines[2001] = ["e", null, "#endregion NAME"];
  return { report, lines };
}

test("lines across pieces, and none past the end", async () => {
  const { report, lines } = sampleLines();
  const { data, texts } = embedded(report, lines, 333);
  const chosen = source.embeddedSource(data, (index) => texts[index]);
  assert.deepEqual(await chosen.outline(), report);
  assert.deepEqual(await chosen.lines(330, 10), lines.slice(330, 333), "an answer ends with its piece");
  assert.deepEqual(await chosen.lines(report.lineCount, 10), []);
});

test("search: every hit once, in order, a page at a time, region ends showing nothing", async () => {
  const { report, lines } = sampleLines();
  const { data, texts } = embedded(report, lines, 97);
  const chosen = source.embeddedSource(data, (index) => texts[index]);
  const expected = lines.map((line, at) => (line[0] !== "e" && line[2].includes("NAME") ? at : -1)).filter((at) => at >= 0);
  assert.ok(expected.length > source.HIT_PAGE);
  const found = [];
  let from = 0;
  let pages = 0;
  while (from !== null) {
    const answer = await chosen.search("NAME", from);
    assert.ok(answer.hits.length <= source.HIT_PAGE);
    found.push(...answer.hits.map((hit) => hit.line));
    assert.ok(answer.hits.every((hit) => hit.region === 0 && hit.text === lines[hit.line][2]));
    from = answer.next;
    pages += 1;
  }
  assert.deepEqual(found, expected);
  assert.equal(pages, 2);
});

test("a damaged piece is named in the error", async () => {
  const { report, lines } = sampleLines();
  const { data, texts } = embedded(report, lines, 500);
  texts[2] = texts[2].slice(0, 40);
  const chosen = source.embeddedSource(data, (index) => texts[index]);
  await assert.rejects(chosen.lines(1100, 5), /damaged \(piece 3\)/);
  assert.equal((await chosen.lines(10, 1))[0][2], lines[10][2], "the other pieces still read");
});

test("the line store asks again until a chunk is whole", async () => {
  const { report, lines } = sampleLines();
  const { data, texts } = embedded(report, lines, 7);
  let arrived;
  const arrival = new Promise((resolve) => { arrived = resolve; });
  const store = lineStore(source.embeddedSource(data, (index) => texts[index]), () => arrived(), assert.fail);
  assert.equal(store.get(LINE_CHUNK + 3), undefined, "on its way");
  await arrival;
  for (let line = LINE_CHUNK; line < 2 * LINE_CHUNK; ++line) assert.deepEqual(store.get(line), lines[line]);
});
