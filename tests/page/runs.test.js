// The runs' logic: iterations merged as they arrive, the progress as the
// summary the charts read, the folder table's order and filter, the hash.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const runs = loadParts().use("runs");

const item = (iter, objective = -iter) => ({ iter, major: iter - 1, objective, feasible: iter > 1, infeasibility: 1 / (iter + 1) });

test("iterations arriving: in order, one per iter, a line read again replacing the one held", () => {
  const held = runs.mergeIterations([], [item(1), item(0)]);
  assert.deepEqual(held.map((each) => each.iter), [0, 1]);
  assert.equal(runs.nextIter(held), 2);
  const again = runs.mergeIterations(held, [item(1, 99), item(2), { iter: -1 }, { iter: "3" }, null]);
  assert.deepEqual(again.map((each) => [each.iter, each.objective]), [[0, -0], [1, 99], [2, -2]]);
  assert.equal(runs.nextIter([]), 0);
});

test("the progress as a summary: the report's numbering (the initial point -1) and its column names", () => {
  const summary = runs.progressSummary([item(0), item(1), { ...item(2), infeasibility: "inf", most_infeasible: "E1" }]);
  const column = (name) => summary.rows.map((row) => row[summary.columns.indexOf(name)]);
  assert.deepEqual(column("Major Iteration"), [-1, 0, 1]);
  assert.deepEqual(column("Total L-Infeasible Value"), [1, 0.5, "inf"]);
  assert.deepEqual(column("Most L-Infeasible Equation"), [null, null, "E1"]);
  assert.deepEqual(column("Feasible"), ["no", "no", "yes"]);
});

const folder = [
  { id: 0, name: "case10", state: "ended", status: "Successful", iterations: 12, objective: -5, reportSize: 900 },
  { id: 1, name: "case2", state: "running", status: null, iterations: null, objective: "inf", reportSize: null },
  { id: 2, name: "Case1", state: "ended", status: "Infeasible", iterations: 3, objective: "nan", reportSize: 20 },
  { id: 3, name: "case3", state: "stopped without an end", status: null, iterations: 7, objective: "-inf", reportSize: null },
];
const names = (list) => list.map((run) => run.name);

test("the folder sorted: names as read (case2 before case10), numbers by value, none and NaN last either way", () => {
  assert.deepEqual(names(runs.sortRuns(folder, "name", false)), ["Case1", "case2", "case3", "case10"]);
  assert.deepEqual(names(runs.sortRuns(folder, "name", true)), ["case10", "case3", "case2", "Case1"]);
  assert.deepEqual(names(runs.sortRuns(folder, "objective", false)), ["case3", "case10", "case2", "Case1"]);
  assert.deepEqual(names(runs.sortRuns(folder, "objective", true)), ["case2", "case10", "case3", "Case1"]);
  assert.deepEqual(names(runs.sortRuns(folder, "iterations", true)), ["case10", "case3", "Case1", "case2"]);
  assert.deepEqual(names(runs.sortRuns(folder, "reportSize", true)), ["case10", "Case1", "case2", "case3"]);
  assert.deepEqual(names(runs.sortRuns(folder, "state", false)), ["Case1", "case10", "case2", "case3"]);
});

test("the folder filtered by text in the name or state (any case) and by state", () => {
  assert.deepEqual(names(runs.filterRuns(folder, " CASE1", "")), ["case10", "Case1"]);
  assert.deepEqual(names(runs.filterRuns(folder, "infeasible", "")), ["Case1"]);
  assert.deepEqual(names(runs.filterRuns(folder, "", "ended")), ["case10", "Case1"]);
  assert.deepEqual(names(runs.filterRuns(folder, "2", "ended")), []);
  assert.deepEqual(runs.statesOf(folder), ["ended", "running", "stopped without an end"]);
});

test("the hash names the table or one run, and nothing else", () => {
  assert.deepEqual(runs.placeOfHash("#runs"), { runs: true });
  assert.deepEqual(runs.placeOfHash("#run=12"), { run: 12 });
  for (const hash of ["", "#", "#run=", "#run=-1", "#run=1x", "#run=1e3", "#runs=1", "#run=1234567890"]) {
    assert.equal(runs.placeOfHash(hash), null, hash);
  }
  assert.deepEqual(runs.placeOfHash(runs.hashOf({ run: 4 })), { run: 4 });
  assert.equal(runs.sizeText(999), "999 bytes");
  assert.equal(runs.sizeText(123456), "123 kB");
});
