// What the page's keys act on: "go to" as typed, and the next and previous
// search hit from where the reader is.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const parts = loadParts();
const { parseGoTo } = parts.use("keys");
const { HitList } = parts.use("search");

test("go to a line or an iteration, as typed", () => {
  const cases = [
    ["1200", { line: 1199 }], [" 1 ", { line: 0 }], ["i 3", { iteration: 3 }], ["I3", { iteration: 3 }],
    ["iteration 12", { iteration: 12 }], ["initial", { iteration: -1 }],
    ["i initial", { iteration: -1 }], ["", null], ["   ", null],
  ];
  for (const [typed, expected] of cases) assert.deepEqual(parseGoTo(typed), expected, typed);
  for (const typed of ["0", "-5", "x", "i", "3.5", "i -1", "line 4"]) assert.ok(parseGoTo(typed).error, typed);
});

test("next and previous hit from the current line, and on from the hit last gone to", () => {
  const hits = new HitList();
  hits.add([10, 20, 20, 30].map((line) => ({ line })));
  assert.equal(hits.step(1, -1), 0, "from nowhere, the first");
  assert.equal(hits.step(1, 15), 1);
  assert.equal(hits.step(-1, 15), 0);
  assert.equal(hits.step(-1, 5), -1);
  assert.equal(hits.step(1, 30), -1, "none after the last yet");
  hits.at = 1;
  assert.equal(hits.step(1, 20), 2, "two hits on one line: each in turn");
  hits.at = 2;
  assert.equal(hits.step(-1, 20), 1);
});
