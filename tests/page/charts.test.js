// The charts' axes: tick labels short and never two alike, whatever the
// magnitude; the scale rule (log where values span decades, the initial
// point kept from flattening the major iterations).
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const charts = loadParts().use("charts");

// Chart.js's linear ticks: multiples of a 1, 2 or 5 step.
function niceTicks(from, step, count) {
  return Array.from({ length: count }, (_, at) => Number((from + at * step).toPrecision(15)));
}

test("tick labels: short and distinct on linear axes of every magnitude and on log axes of 30 decades", () => {
  for (let exponent = -30; exponent <= 30; exponent += 1) {
    for (const mantissa of [1, 2, 5]) {
      const step = mantissa * 10 ** exponent;
      for (const from of [0, -3 * step, 485990 * 10 ** exponent, ...(exponent > -10 && exponent < 0 ? [1 + step] : [])]) {
        const values = niceTicks(from, step, 11);
        const labels = charts.tickLabels(values);
        assert.equal(new Set(labels).size, new Set(values).size, `${values}: ${labels}`);
        for (const label of labels) {
          assert.ok(label.length <= 12, `${label} of ${values}`);
          assert.doesNotMatch(label, /e\+|^-?0\.000|\.\d*0(k|e|$)|^-?\d{4,}/, `${label} of ${values}`);
        }
      }
    }
  }
  assert.deepEqual(charts.tickLabels([1e-6, 0.01, 100, 10000, 2.5e8]), ["1e-6", "0.01", "100", "10k", "2.5e8"]);
  assert.deepEqual(charts.tickLabels(charts.logTicks(1e-20, 1e10, [])),
    ["1e-20", "1e-16", "1e-12", "1e-8", "1e-4", "1", "10k", "1e8"], "every fourth power of 31");
  assert.deepEqual(charts.logTicks(3, 40, []), [5, 10, 20], "one power only: one, two and five times them");
});

test("the scale: log where positive values span more than three decades; the initial point never flattens the rest", () => {
  const scaleOf = (series, initialFirst, forced) => charts.chartScale(series, initialFirst, forced);
  assert.equal(scaleOf([[10, 1e3, 1e5, 1e8]], false).logarithmic, true, "a penalty build-up");
  assert.equal(scaleOf([[10, 1e5, 0]], false).logarithmic, true, "a zero goes to the bottom edge");
  assert.equal(scaleOf([[10, 1e5, -1]], false).logarithmic, false, "a negative value cannot");
  assert.equal(scaleOf([[10, 1000]], false).logarithmic, false, "three decades exactly");
  assert.equal(scaleOf([[10, 1e8]], false, "linear").logarithmic, false, "the reader's switch");
  assert.equal(scaleOf([[10, 20]], false, "logarithmic").logarithmic, true);

  // An objective from 0 to 485,993: the axis spans the major iterations only.
  const objective = scaleOf([[0, 480000, 485000, 485993]], true);
  assert.equal(objective.logarithmic, false);
  assert.ok(objective.low > 470000 && objective.high < 490000, `${objective.low} .. ${objective.high}`);
  assert.deepEqual(scaleOf([[478000, 480000, 485000, 485993]], true), { logarithmic: false, low: null, high: null },
    "an initial point near the rest widens the axis");
  const fromNegative = scaleOf([[-3900, 1e-15, 1e-5, 1e15]], true);
  assert.equal(fromNegative.logarithmic, true, "a negative initial point does not decide the scale");
  assert.ok(fromNegative.low > 0 && fromNegative.low < 1e-15, `${fromNegative.low}`);
  const infeasibility = scaleOf([[1e20, 5, 0.1, 1e-3]], true);
  assert.equal(infeasibility.logarithmic, true);
  assert.ok(infeasibility.high < 100, `${infeasibility.high}`);
});
