// The region model: which rows are shown, where a line is, paths, and
// regions nested far deeper than a call stack.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts, reportOf } = require("./load");

const { RegionModel } = loadParts().use("regions");

// Model (lines 0-6) holding Options (3-5); Iterations (7-17) holding
// Major Iteration 0 (9-12) and Major Iteration 1 (13-16); line 18 after.
const sample = () => reportOf([
  ["Model", "section", [["Options", "section"]], 2],
  ["Iterations", "section", [["Major Iteration 0", "iteration", [], 2], ["Major Iteration 1", "iteration", [], 2]], 1],
], 1);

// The lines shown, row by row, as the model says.
const shownLines = (model) => Array.from({ length: model.rowCount }, (_, row) => model.lineOfRow(row));

// Nested `depth` deep, never closed, with a line of text inside the innermost.
function deepReport(depth) {
  const regions = Array.from({ length: depth }, (_, id) => ({
    title: `R${id}`, kind: "section", level: 1, colour: null, line: id, end: depth + 1, parent: id - 1, depth: id,
    children: id + 1 < depth ? [id + 1] : [], lineCount: depth - id,
  }));
  return { file: "deep.log", lineCount: depth + 1, regions, endedEarly: true };
}

test("rows: closed regions hidden, open regions' end lines shown, every shown line found again", () => {
  const model = new RegionModel(sample(), null);
  assert.deepEqual([...model.open], [1, 1, 1, 0, 0], "top-level and non-iteration regions open at first");
  assert.deepEqual(shownLines(model), [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 17, 18]);
  model.setOpen(3, true);
  assert.deepEqual(shownLines(model), [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 18]);
  model.setOpen(0, false);
  assert.deepEqual(shownLines(model).slice(0, 3), [0, 7, 8], "a closed region hides its end line too");
  for (let line = 0; line < model.lineCount; ++line) {
    const row = model.rowOfLine(line);
    if (row >= 0) assert.equal(model.lineOfRow(row), line);
  }
  assert.equal(model.rowOfLine(2), -1, "a line inside a closed region has no row");
});

test("the innermost region of each line, as a walk of the tree finds it", () => {
  const report = sample();
  const model = new RegionModel(report, null);
  for (let line = 0; line < report.lineCount; ++line) {
    let expected = -1;
    report.regions.forEach((region, id) => {
      if (region.line <= line && line <= region.end) expected = id;
    });
    assert.equal(model.regionOfLine(line), expected, `line ${line}`);
  }
});

test("a region's path names its innermost levels only", () => {
  const model = new RegionModel(deepReport(5), null);
  assert.equal(model.path(1), "R0 \u203a R1");
  assert.equal(model.path(4), "\u2026 \u203a R2 \u203a R3 \u203a R4");
  assert.equal(model.path(-1), "Outside any region");
});

test("open state kept across a new version; the previous and next iteration block", () => {
  const first = new RegionModel(sample(), null);
  first.setOpen(4, true);
  const again = new RegionModel(sample(), first.open);
  assert.equal(again.open[4], 1);
  assert.equal(again.iterationNear(0, 1), 9);
  assert.equal(again.iterationNear(9, 1), 13);
  assert.equal(again.iterationNear(11, -1), 9);
  assert.equal(again.iterationNear(13, -1), 9);
  assert.equal(again.iterationNear(13, 1), null);
  assert.equal(again.iterationNear(9, -1), null);
});

test("100,000 nested regions: a line at the bottom opened, found and its path named at once", () => {
  const depth = 100000;
  const model = new RegionModel(deepReport(depth), null);
  model.open.fill(0);
  model.buildRows();
  const line = depth;   // the text inside the innermost region
  assert.equal(model.rowOfLine(line), -1);
  const opened = model.openAround(line);
  assert.equal(opened.length, depth);
  assert.equal(opened[0], 0, "outermost first");
  assert.ok(model.rowOfLine(line) >= 0);
  assert.equal(model.endOfDescendants(0), depth);
  // 500 hits' regions and paths, as a search lists them.
  for (let hit = 0; hit < 500; ++hit) assert.equal(model.path(model.regionOfLine(line)).split(" \u203a ").length, 4);
});
