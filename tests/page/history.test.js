// The history charts' data: each kind of quantity on an axis of its own
// (a value and its bounds together), a log axis only where the values span
// decades, runs overlaid on one iteration axis with the initial point first.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const history = loadParts().use("history");

function historyOf(kind, columns, rows) {
  return {
    name: "X", kind, columns,
    rows: rows.map(([iteration, ...values], line) =>
      ({ iteration, line, values: Object.fromEntries(columns.map((column, at) => [column, values[at]])) })),
  };
}

test("a variable: bounds and value on one axis, step and shadow price each on its own", () => {
  const variable = historyOf("variable", ["Lower", "Value", "Upper", "Step", "Shadow Price", "Status"], [
    [-1, 0, 5, 10, 1, -3, "BS"],
    [0, 0, 6, 10, 0.5, -2, "BS"],
    [1, 0, 6.5, 10, 0.25, null, "UB"],
  ]);
  const groups = history.historyGroups([{ name: "a.log", history: variable }]);
  assert.deepEqual(groups.map((group) => group.title), ["Lower, Value, Upper", "Step", "Shadow Price"]);
  assert.deepEqual(groups[0].labels, ["-1", "0", "1"]);
  assert.deepEqual(groups[2].series[0].data, [-3, -2, null]);
  assert.ok(groups.every((group) => !group.logarithmic), "nothing spans decades");
});

test("an equation: a residual that spans decades on a log axis, beside a scale of 1", () => {
  const equation = historyOf("equation", ["Residual", "Shadow Price", "Scale"], [
    [-1, 3, 0, 1], [0, 0.02, -1, 1], [1, 1e-6, -1.5, 1],
  ]);
  const groups = history.historyGroups([{ name: "a.log", history: equation }]);
  assert.deepEqual(groups.map((group) => [group.title, group.logarithmic]),
    [["Residual", true], ["Shadow Price", false], ["Scale", false]]);
});

test("runs overlaid: one iteration axis, each run's values at its iterations", () => {
  const a = historyOf("variable", ["Value"], [[-1, 1], [0, 2], [1, 3]]);
  const b = historyOf("variable", ["Value"], [[0, 20], [1, 30], [2, 40], [-1, 10]]);
  const [group] = history.historyGroups([{ name: "a.log", history: a }, { name: "b.log", history: b }]);
  assert.deepEqual(group.labels, ["-1", "0", "1", "2"]);
  assert.deepEqual(group.series.map((series) => [series.label, series.run, series.data]), [
    ["a.log: Value", 0, [1, 2, 3, null]],
    ["b.log: Value", 1, [10, 20, 30, 40]],
  ]);
});
