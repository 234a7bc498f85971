/* The history of a variable or an equation: its rows in the details tables
   of every iteration block, as a table and as small charts, one per kind of
   quantity, each on an axis that suits it (a log axis where the values span
   decades).  In compare, the history of a name in every run overlaid. */
"use strict";

tarnview.define("history", ["dom", "charts"], (dom, charts) => {
  const SHARED_AXIS = ["Lower", "Value", "Upper"];   // a value and its bounds read on one axis
  const INITIAL_ITERATION = -1;                       // the initial conditions' number
  const { byId, element } = dom;

  // An iteration block's label as the reader gives it: its number as the
  // summary numbers it (-1 the initial conditions), or a title.
  const labelOf = (iteration) => String(iteration);

  // The columns of a history that hold numbers.
  const numericColumns = (history) =>
    history.columns.filter((column) => history.rows.some((row) => typeof row.values[column] === "number"));

  // The charts of one or more runs' histories of a name ([{name, history}]):
  // [{title, logarithmic, labels, series: [{label, column, run, data}]}],
  // the iterations of every run on one axis, the initial point first.
  function historyGroups(runs) {
    const order = new Map();
    for (const { history } of runs) {
      for (const row of history.rows) order.set(labelOf(row.iteration), typeof row.iteration === "number" ? row.iteration : -Infinity);
    }
    const labels = [...order.keys()].sort((a, b) => order.get(a) - order.get(b));
    const columns = [...new Set(runs.flatMap(({ history }) => numericColumns(history)))];
    const shared = columns.filter((column) => SHARED_AXIS.includes(column));
    const groups = [...(shared.length ? [shared] : []), ...columns.filter((column) => !shared.includes(column)).map((column) => [column])];
    return groups.map((group) => {
      const series = runs.flatMap(({ name, history }, run) => group.map((column) => {
        const byLabel = new Map(history.rows.map((row) => [labelOf(row.iteration), row.values[column]]));
        const data = labels.map((label) => charts.numberOrNull(byLabel.get(label), false));
        return { label: runs.length > 1 ? `${name}: ${column}` : column, column, run, data };
      }));
      const logarithmic = charts.chartScale(series.map((each) => each.data), labels[0] === labelOf(INITIAL_ITERATION)).logarithmic;
      return { title: group.join(", "), logarithmic, labels, series };
    });
  }

  function historyTable(table, history) {
    const headRow = element("tr");
    headRow.append(element("th", "", "Iteration"));
    for (const column of history.columns) headRow.append(element("th", "", column));
    const body = element("tbody");
    for (const row of history.rows) {
      const tableRow = element("tr");
      tableRow.dataset.line = String(row.line);
      tableRow.append(element("td", "", labelOf(row.iteration)));
      for (const column of history.columns) tableRow.append(element("td", "", charts.cellText(row.values[column])));
      body.append(tableRow);
    }
    const head = element("thead");
    head.append(headRow);
    table.replaceChildren(head, body);
  }

  // Small multiples in `box`: one chart per group, the canvases named
  // `${prefix}-0`, `${prefix}-1`...; `hooks` as charts.drawChart takes them.
  function drawGroups(box, prefix, runs, hooks) {
    const groups = historyGroups(runs);
    for (const node of box.querySelectorAll("canvas")) charts.forget(node.id);
    box.replaceChildren(...groups.map((_, at) => {
      const holder = element("div", "multiple");
      const chartBox = element("div", "chart-box");
      const canvas = element("canvas");
      canvas.id = `${prefix}-${at}`;
      chartBox.append(canvas);
      holder.append(chartBox);
      return holder;
    }));
    const columnColour = new Map();
    groups.forEach((group, at) => {
      const datasets = group.series.map((series) => {
        if (!columnColour.has(series.column)) columnColour.set(series.column, columnColour.size);
        return charts.lineDataset(series.label, series.data, columnColour.get(series.column), series.run);
      });
      charts.drawChart(`${prefix}-${at}`, group.title, "", group.labels, datasets, hooks);
    });
    return groups;
  }

  // The history panel of the report view. `actions.goToLine(line)`,
  // `actions.goToIteration(label)` (a chart's point clicked).
  function historyPanel(view, actions) {
    const section = byId("history");
    const chartHooks = { onPoint: actions.goToIteration };
    let shownName = null;

    async function show(name, kind) {
      if (!view.source.history) return;
      shownName = name;
      section.hidden = false;
      byId("history-heading").textContent = `History of ${name}\u2026`;
      try {
        const history = await view.source.history(name, kind);
        if (shownName !== name) return;
        byId("history-heading").textContent = `History of ${history.name} (${history.kind})`;
        historyTable(byId("history-table"), history);
        drawGroups(byId("history-charts"), "chart-history", [{ name: history.name, history }], chartHooks);
      } catch (error) {
        byId("history-heading").textContent = `No history of ${name}: ${dom.messageOf(error)}`;
        byId("history-table").replaceChildren();
        drawGroups(byId("history-charts"), "chart-history", []);
      }
    }

    function close() {
      shownName = null;
      section.hidden = true;
    }

    function start() {
      byId("history-table").addEventListener("click", (event) => {
        const row = event.target.closest("tr[data-line]");
        if (row) actions.goToLine(Number(row.dataset.line));
      });
    }

    return { start, show, close, shown: () => shownName };
  }

  return { historyPanel, historyGroups, historyTable, drawGroups, labelOf };
});
