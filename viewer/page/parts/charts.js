/* Charts (Chart.js): configuration only.  Each chart has a legend of its
   own in the page (a list that wraps and scrolls, never clipped): colour
   tells the quantities apart, the line style the runs. */
"use strict";

tarnview.define("charts", ["dom", "theme"], (dom, theme) => {
  const PALETTE = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2", "#17becf"];
  const DASHES = [[], [8, 4], [2, 3], [10, 3, 2, 3]];
  const DASH_STYLES = ["solid", "dashed", "dotted", "dashed"];   // the same in CSS, for the legend
  const SUMMARY_X = "Major Iteration";
  const SUMMARY_CONVERGENCE_SERIES = [
    "Variable Convergence Function",
    "Residual Convergence Function",
    "Objective Convergence Function",
    "Total L-Infeasible Value",
  ];
  const SUMMARY_OBJECTIVE_SERIES = ["Objective Function Value"];
  const charts = new Map();

  const LOG_SPAN = 1000;          // max/min of the positive values beyond which an axis is logarithmic
  const MAX_LOG_TICKS = 9;        // labelled powers of ten on a log axis at most
  const INITIAL_LABEL = "-1";     // the initial point's label (the summary numbers it -1)
  const scaleChosen = new Map();  // canvas id -> "logarithmic" or "linear", as the reader switched it

  function numberOrNull(value, positiveOnly) {
    if (typeof value !== "number" || !Number.isFinite(value)) return null;
    return positiveOnly && value <= 0 ? null : value;
  }

  // A number in full: the shortest text that reads back as the same number.
  function formatNumber(value) {
    if (value === null || value === undefined) return "";
    return String(value);
  }

  // A number to `digits` significant digits, short: 1e-6, 0.01, 100, 10k, 2.5e8.
  function shortNumber(value, digits) {
    const rounded = Number(value.toPrecision(digits));
    const magnitude = Math.abs(rounded);
    if (magnitude === 0) return "0";
    if (magnitude < 1e-3 || magnitude >= 1e6) return rounded.toExponential().replace("e+", "e");
    if (magnitude >= 1e3) return `${Number((rounded / 1e3).toPrecision(digits))}k`;
    return String(rounded);
  }

  // The labels of an axis's ticks: each short, with the fewest significant
  // digits that give its value to within a billionth of the ticks' spacing
  // (so rounding noise goes and two different ticks never read the same).
  function tickLabels(values) {
    const sorted = [...new Set(values)].sort((a, b) => a - b);
    const gaps = sorted.slice(1).map((value, at) => value - sorted[at]);
    const spacing = gaps.length ? Math.min(...gaps) : Math.abs(sorted[0]) || 1;
    return values.map((value) => {
      let digits = 1;
      while (digits < 17 && Math.abs(Number(value.toPrecision(digits)) - value) > spacing * 1e-9) ++digits;
      return shortNumber(value, digits);
    });
  }

  // The ticks of a log axis from `low` to `high`: powers of ten, every
  // k-th one when they are many; 1, 2 and 5 times them when there are
  // fewer than two; else the ticks Chart.js made (`made`).
  function logTicks(low, high, made) {
    const within = (value) => value >= low * (1 - 1e-12) && value <= high * (1 + 1e-12);
    const first = Math.ceil(Math.log10(low) - 1e-12);
    const last = Math.floor(Math.log10(high) + 1e-12);
    const step = Math.max(1, Math.ceil((last - first + 1) / MAX_LOG_TICKS));
    const powers = [];
    for (let exponent = first; exponent <= last; exponent += step) powers.push(Number(`1e${exponent}`));
    if (powers.length >= 2) return powers;
    const nice = [];
    for (let exponent = first - 1; exponent <= last; ++exponent) {
      for (const mantissa of [1, 2, 5]) nice.push(Number(`${mantissa}e${exponent}`));
    }
    const niceWithin = nice.filter(within);
    return niceWithin.length >= 2 ? niceWithin : made;
  }

  // The scale of a chart's y axis, from its series' values (arrays, one
  // per series, a value per label) and whether the first label is the
  // initial point.  The rule:
  // - logarithmic when no value of the major iterations (of all points when
  //   there are fewer than two) is negative and their positive values span
  //   more than LOG_SPAN (more than three decades); a value a log axis
  //   cannot draw (zero, or a negative initial value) is drawn at its
  //   bottom edge;
  // - the range is that of the major iterations, the initial point left
  //   out; it takes in an initial value unless that lies further outside
  //   than the range is wide (in decades on a log axis): such a value is
  //   drawn at the axis's edge.  Points at an edge are triangles, their
  //   own value in their tooltip.
  // `forced` ("logarithmic", "linear") is the reader's switch.
  // {logarithmic, low, high}: low and high null when Chart.js sets them.
  function chartScale(series, initialFirst, forced) {
    const finite = (values) => values.filter((value) => typeof value === "number" && Number.isFinite(value));
    const all = finite(series.flat());
    const majors = finite(initialFirst ? series.flatMap((values) => values.slice(1)) : all);
    const deciding = majors.length >= 2 ? majors : all;
    const positives = deciding.filter((value) => value > 0);
    const logChosen = positives.length > 0 && !deciding.some((value) => value < 0) &&
      Math.max(...positives) / Math.min(...positives) > LOG_SPAN;
    const logarithmic = forced ? forced === "logarithmic" && positives.length > 0 : logChosen;
    const drawable = logarithmic ? (value) => value > 0 : () => true;
    const body = majors.filter(drawable);
    const initial = finite(initialFirst ? series.map((values) => values[0]) : []).filter(drawable);
    const map = logarithmic ? Math.log10 : (value) => value;
    const unmap = logarithmic ? (value) => 10 ** value : (value) => value;
    const range = (values) => [Math.min(...values.map(map)), Math.max(...values.map(map))];
    if (body.length < 2 || (!logarithmic && !initial.length)) {
      return logarithmic ? { logarithmic, ...edges(range(all.filter((value) => value > 0)), unmap) } : { logarithmic, low: null, high: null };
    }
    let [low, high] = range(body);
    const width = high - low || (logarithmic ? 1 : Math.abs(high) || 1);
    const near = initial.filter((value) => map(value) >= low - width && map(value) <= high + width);
    if (near.length) [low, high] = range([...body, ...near]);
    if (!logarithmic && near.length === initial.length) return { logarithmic, low: null, high: null };
    return { logarithmic, ...edges([low, high], unmap) };
  }

  // An axis's ends a little outside [low, high] (mapped), for `unmap`.
  function edges([low, high], unmap) {
    const margin = (high - low || 1) * 0.04;
    return { low: unmap(low - margin), high: unmap(high + margin) };
  }

  // A table cell: numbers to twelve significant digits (a difference of
  // two values printed to fewer digits shows no rounding noise), an
  // infinity signed as the report prints it.
  function cellText(value) {
    if (value === null || value === undefined) return "";
    if (value === "inf") return "+inf";
    return typeof value === "number" ? String(Number(value.toPrecision(12))) : String(value);
  }

  // A series: colour by quantity (`colourIndex`), line style by run (`runIndex`).
  function lineDataset(label, data, colourIndex, runIndex) {
    const colour = PALETTE[colourIndex % PALETTE.length];
    return {
      label,
      values: data,
      data,
      borderColor: colour,
      backgroundColor: colour,
      borderDash: DASHES[(runIndex || 0) % DASHES.length],
      borderWidth: 2,
      pointRadius: 2.5,
      spanGaps: false,
    };
  }

  // The chart's legend in the page: one entry per series, a click hides or
  // shows it; then the switch between a log and a linear axis.
  function drawLegend(canvas, chart, switchScale) {
    const box = canvas.closest(".chart-box");
    let legend = box.nextElementSibling;
    if (!legend || !legend.classList.contains("legend")) {
      legend = dom.element("ul", "legend");
      box.after(legend);
    }
    const entries = chart.data.datasets.map((dataset, index) => {
      const item = dom.element("li");
      const entry = dom.button(undefined, "legend-entry");
      const swatch = dom.element("span", "swatch");
      swatch.style.borderTopColor = dataset.borderColor;
      swatch.style.borderTopStyle = DASH_STYLES[Math.max(DASHES.indexOf(dataset.borderDash), 0)];
      entry.append(swatch, dom.element("span", "label", dataset.label));
      entry.setAttribute("aria-pressed", String(chart.isDatasetVisible(index)));
      entry.addEventListener("click", () => {
        chart.setDatasetVisibility(index, !chart.isDatasetVisible(index));
        entry.setAttribute("aria-pressed", String(chart.isDatasetVisible(index)));
        chart.update();
      });
      item.append(entry);
      return item;
    });
    const logarithmic = chart.options.scales.y.type === "logarithmic";
    const scaleItem = dom.element("li");
    const scaleButton = dom.button(logarithmic ? "Linear scale" : "Log scale", "scale-switch");
    scaleButton.title = `Draw this chart on a ${logarithmic ? "linear" : "log"} axis`;
    scaleButton.addEventListener("click", () => switchScale(logarithmic ? "linear" : "logarithmic"));
    scaleItem.append(scaleButton);
    legend.replaceChildren(...entries, scaleItem);
  }

  // The theme's colours of a chart's text and grid.
  function applyTheme(options) {
    const grid = theme.themeColour("--border");
    const text = theme.themeColour("--muted");
    options.color = text;
    options.plugins.title.color = text;
    for (const axis of Object.values(options.scales)) {
      axis.ticks.color = text;
      axis.grid.color = grid;
      if (axis.title) axis.title.color = text;
    }
  }

  // The values drawn of a series on `scale`: a value outside the axis (an
  // initial one, or one a log axis cannot draw) at its edge.
  function drawnData(values, scale) {
    return values.map((value) => {
      if (value === null || value === undefined || scale.low === null) return value;
      if (value < scale.low) return scale.low;
      return value > scale.high ? scale.high : value;
    });
  }

  // Where the drawn point differs from its value: a triangle.
  const pointStyles = (values, drawn) => values.map((value, index) => (drawn[index] !== null && drawn[index] !== value ? "triangle" : "circle"));

  // The y axis's ticks: on a log axis those of logTicks; on a linear one
  // with ends of its own, Chart.js's ticks but an end that is no multiple
  // of their step (no round number).
  const yAxisTicks = (scale) => {
    if (scale.options.type === "logarithmic") {
      const made = scale.ticks.map((tick) => tick.value);
      scale.ticks = logTicks(scale.min, scale.max, made).map((value) => ({ value }));
      return;
    }
    const values = scale.ticks.map((tick) => tick.value);
    if (values.length < 4) return;
    const step = values[2] - values[1];
    const round = (value) => Math.abs(value / step - Math.round(value / step)) < 1e-6;
    scale.ticks = scale.ticks.filter((tick, at) => (at !== 0 && at !== values.length - 1) || round(tick.value));
  };

  // The labels of the series the reader hid on a chart.
  function hiddenSeries(chart) {
    return new Set(chart ? chart.data.datasets.filter((_, index) => !chart.isDatasetVisible(index)).map((dataset) => dataset.label) : []);
  }

  // A chart of `datasets` (from lineDataset) over `labels`.  `hooks`:
  // onPoint(label) when a point is clicked.  Drawn again on the same
  // canvas (new points, the other scale), the series the reader hid stay hidden.
  function drawChart(canvasId, title, xTitle, labels, datasets, hooks = {}) {
    const canvas = dom.byId(canvasId);
    const hidden = hiddenSeries(charts.get(canvasId));
    if (charts.has(canvasId)) charts.get(canvasId).destroy();
    const initialFirst = labels[0] === INITIAL_LABEL && labels.length > 1;
    const scale = chartScale(datasets.map((dataset) => dataset.values), initialFirst, scaleChosen.get(canvasId));
    for (const dataset of datasets) {
      dataset.data = drawnData(dataset.values, scale);
      dataset.pointStyle = pointStyles(dataset.values, dataset.data);
    }
    const redraw = (chosen) => {
      scaleChosen.set(canvasId, chosen);
      drawChart(canvasId, title, xTitle, labels, datasets, hooks);
    };
    const options = {
      animation: false,
      responsive: true,
      maintainAspectRatio: false,
      interaction: { mode: "index", intersect: false },
      plugins: {
        legend: { display: false },
        title: { display: Boolean(title), text: `${title}${scale.logarithmic ? " (log scale)" : ""}` },
        tooltip: {
          callbacks: { label: (context) => `${context.dataset.label}: ${formatNumber(context.dataset.values[context.dataIndex])}` },
        },
      },
      scales: {
        x: { title: { display: Boolean(xTitle), text: xTitle }, ticks: { maxRotation: 0, autoSkip: true }, grid: {} },
        y: {
          type: scale.logarithmic ? "logarithmic" : "linear",
          ...(scale.low !== null ? { min: scale.low, max: scale.high } : {}),
          afterBuildTicks: yAxisTicks,
          ticks: { callback: (_value, index, ticks) => tickLabels(ticks.map((tick) => tick.value))[index] },
          grid: {},
        },
      },
      onClick: (event, _elements, chart) => {
        const [point] = chart.getElementsAtEventForMode(event, "index", { intersect: false }, false);
        if (point && hooks.onPoint) hooks.onPoint(labels[point.index]);
      },
    };
    applyTheme(options);
    const chart = new Chart(canvas, { type: "line", data: { labels, datasets }, options });
    datasets.forEach((dataset, index) => {
      if (hidden.has(dataset.label)) chart.setDatasetVisibility(index, false);
    });
    if (hidden.size) chart.update();
    charts.set(canvasId, chart);
    drawLegend(canvas, chart, redraw);
    return chart;
  }

  // Every chart drawn again in the theme's colours.
  function restyle() {
    for (const chart of charts.values()) {
      applyTheme(chart.options);
      chart.update();
    }
  }
  theme.onChange(restyle);

  function forget(canvasId) {
    if (charts.has(canvasId)) charts.get(canvasId).destroy();
    charts.delete(canvasId);
  }

  function summaryColumn(summary, name) {
    const at = summary.columns.indexOf(name);
    return summary.rows.map((row) => (at < 0 ? null : numberOrNull(row[at], false)));
  }

  function summaryLabels(summary) {
    const at = summary.columns.indexOf(SUMMARY_X);
    return summary.rows.map((row, index) => String(at >= 0 && row[at] !== null ? row[at] : index));
  }

  // The series of the summary charts of one or more runs ([{name, summary}]),
  // a run's name before each series when there are several.
  function summarySeries(runs, columns) {
    return runs.flatMap((run, runIndex) => columns.map((column, columnIndex) =>
      lineDataset(runs.length > 1 ? `${run.name}: ${column}` : column,
        summaryColumn(run.summary, column), columnIndex, runIndex)));
  }

  // `hooks` as drawChart takes them.
  function drawSummaryCharts(runs, convergenceCanvas, objectiveCanvas, hooks) {
    const longest = runs.reduce((best, run) => (run.summary.rows.length > best.summary.rows.length ? run : best));
    const labels = summaryLabels(longest.summary);
    drawChart(convergenceCanvas, "Convergence functions and total L-infeasibility", SUMMARY_X, labels,
      summarySeries(runs, SUMMARY_CONVERGENCE_SERIES), hooks);
    // One quantity, several runs: each run its own colour too.
    const objective = summarySeries(runs, SUMMARY_OBJECTIVE_SERIES).map((dataset, runIndex) =>
      lineDataset(dataset.label, dataset.values, runIndex, runIndex));
    drawChart(objectiveCanvas, "Objective function value", SUMMARY_X, labels, objective, hooks);
  }

  return {
    SUMMARY_X, SUMMARY_CONVERGENCE_SERIES, SUMMARY_OBJECTIVE_SERIES, PALETTE, DASHES, numberOrNull, formatNumber, cellText, lineDataset, drawChart, forget, drawSummaryCharts,
    summarySeries, summaryLabels, shortNumber, tickLabels, logTicks, chartScale, chartOf: (canvasId) => charts.get(canvasId),
  };
});
