/* Runs as the server follows them (/api/runs, /api/runs/ID/progress): the
   logic of the run's live view and of the folder's table, apart from the
   page.  The state words come from the server as they are; the page only
   shows and filters them. */
"use strict";

tarnview.define("runs", ["charts"], (charts) => {
  const MOST_INFEASIBLE = "Most L-Infeasible Equation";
  const FEASIBLE = "Feasible";
  const [VARIABLE, RESIDUAL, OBJECTIVE_CONVERGENCE, TOTAL_INFEASIBILITY] = charts.SUMMARY_CONVERGENCE_SERIES;
  const [OBJECTIVE] = charts.SUMMARY_OBJECTIVE_SERIES;
  // The live view's table: the summary's columns (the names the charts
  // draw) and whether the iteration was feasible.  An iteration is numbered
  // as the report numbers it ("major", from the server); its "iter" is the
  // progress line's count, which the requests go by.
  const PROGRESS_COLUMNS = [
    [charts.SUMMARY_X, (item) => item.major],
    [FEASIBLE, (item) => (item.feasible ? "yes" : "no")],
    [OBJECTIVE, (item) => item.objective],
    [TOTAL_INFEASIBILITY, (item) => item.infeasibility],
    [MOST_INFEASIBLE, (item) => item.most_infeasible || null],
    [OBJECTIVE_CONVERGENCE, (item) => item.objective_convergence],
    [RESIDUAL, (item) => item.residual_convergence],
    [VARIABLE, (item) => item.variable_convergence],
  ];

  // The iterations held and those that arrived, one per "iter", in order
  // (an iteration read again replaces the one held).
  function mergeIterations(held, arriving) {
    const byIter = new Map(held.map((item) => [item.iter, item]));
    for (const item of arriving) {
      if (Number.isInteger(item && item.iter) && item.iter >= 0) byIter.set(item.iter, item);
    }
    return [...byIter.values()].sort((a, b) => a.iter - b.iter);
  }

  // Which run of a base a progress answer is of: a later run of the same
  // base (the case run again) has another writer or start.
  const runOf = (answer) => `${answer.pid} ${answer.started}`;

  // The "since" of the next progress request: the iteration after the last held.
  const nextIter = (held) => (held.length ? held.at(-1).iter + 1 : 0);

  // The progress as a summary ({columns, rows}) that the charts and the
  // table read as they read a report's.
  function progressSummary(iterations) {
    return {
      columns: PROGRESS_COLUMNS.map(([name]) => name),
      rows: iterations.map((item) => PROGRESS_COLUMNS.map(([, value]) => value(item))),
    };
  }

  // A number of the server's answer ("inf", "-inf", "nan" for those that
  // are not finite) as a number; null stays null.
  function numberOf(value) {
    if (typeof value === "number") return value;
    if (value === "inf") return Infinity;
    if (value === "-inf") return -Infinity;
    if (value === "nan") return NaN;
    return null;
  }

  // The folder table's columns: [key, heading, the row's value to sort by].
  const RUN_COLUMNS = [
    ["name", "Run", (run) => run.name],
    ["state", "State", (run) => stateText(run)],
    ["iterations", "Major iterations", (run) => numberOf(run.iterations)],
    ["objective", "Objective", (run) => numberOf(run.objective)],
    ["infeasibility", "Total infeasibility", (run) => numberOf(run.infeasibility)],
    ["reportSize", "Report size", (run) => numberOf(run.reportSize)],
    ["changed", "Last change", (run) => run.changed],
  ];

  // The state as the table shows it: with the report's status when it has one.
  const stateText = (run) => (run.status ? `${run.state}: ${run.status}` : String(run.state || ""));

  const byReading = new Intl.Collator("en", { numeric: true });
  // Two values of a column in ascending order: numbers by value, texts as
  // a person reads them (case2 before case10).
  function compareValues(a, b) {
    if (typeof a === "number" && typeof b === "number") return a < b ? -1 : a > b ? 1 : 0;
    return byReading.compare(String(a), String(b));
  }

  // The runs sorted by `key` (a RUN_COLUMNS key), `descending` or not;
  // a run without a value (or with NaN) last either way, ties by name.
  function sortRuns(runs, key, descending) {
    const column = RUN_COLUMNS.find(([each]) => each === key) || RUN_COLUMNS[0];
    const valueOf = column[2];
    const absent = (value) => value === null || value === undefined || value === "" || Number.isNaN(value);
    return runs.map((run) => ({ run, value: valueOf(run) })).sort((a, b) => {
      if (absent(a.value) || absent(b.value)) {
        if (absent(a.value) !== absent(b.value)) return absent(a.value) ? 1 : -1;
      } else {
        const order = compareValues(a.value, b.value);
        if (order) return descending ? -order : order;
      }
      return compareValues(a.run.name, b.run.name);
    }).map((entry) => entry.run);
  }

  // The runs whose name or state holds `text` (any case) and whose state
  // is `state` ("" for any).
  function filterRuns(runs, text, state) {
    const wanted = text.trim().toLowerCase();
    return runs.filter((run) => (!state || run.state === state) &&
      (!wanted || run.name.toLowerCase().includes(wanted) || stateText(run).toLowerCase().includes(wanted)));
  }

  // The states among the runs, in the order first met, for the state filter.
  const statesOf = (runs) => [...new Set(runs.map((run) => run.state))];

  // A size in bytes as a person reads it.
  function sizeText(bytes) {
    if (bytes === null || bytes === undefined) return "";
    const units = ["bytes", "kB", "MB", "GB", "TB"];
    let value = bytes;
    let unit = 0;
    while (value >= 1000 && unit < units.length - 1) {
      value /= 1000;
      ++unit;
    }
    return unit === 0 ? `${bytes} bytes` : `${Number(value.toPrecision(3))} ${units[unit]}`;
  }

  // "2026-12-08T12:34:56Z" as "2026-12-08 12:34:56 UTC".
  const changedText = (iso) => (typeof iso === "string" ? iso.replace("T", " ").replace(/Z$/, " UTC") : "");

  // Where the location's hash puts the page: {runs: true}, {run: ID} or null.
  function placeOfHash(hash) {
    if (hash === "#runs") return { runs: true };
    const found = /^#run=(\d{1,9})$/.exec(hash);
    return found ? { run: Number(found[1]) } : null;
  }

  const hashOf = (place) => (place.runs ? "#runs" : `#run=${place.run}`);

  return {
    mergeIterations, runOf, nextIter, progressSummary, numberOf, RUN_COLUMNS, stateText,
    sortRuns, filterRuns, statesOf, sizeText, changedText, placeOfHash, hashOf,
  };
});
