/* Charts (Chart.js): configuration only.  Each chart has a legend of its
   own in the page (a list that wraps and scrolls, never clipped): colour
   tells the quantities apart, the line style the runs. */
"use strict";

tarnview.define("charts", ["dom", "theme"], (dom, theme) => {
  const PALETTE = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2", "#17becf"];
  const DASHES = [[], [8, 4], [2, 3], [10, 3, 2, 3]];
  const DASH_STYLES = ["solid", "dashed", "dotted", "dashed"];   // the same in CSS, for the legend
  const SUMMARY_X = "Major Iteration";
  const SUMMARY_LOG_SERIES = [
    "Variable Convergence Function",
    "Residual Convergence Function",
    "Objective Convergence Function",
    "Total L-Infeasible Value",
  ];
  const SUMMARY_LINEAR_SERIES = ["Objective Function Value"];
  const charts = new Map();

  function numberOrNull(value, positiveOnly) {
    if (typeof value !== "number" || !Number.isFinite(value)) return null;
    return positiveOnly && value <= 0 ? null : value;
  }

  function formatNumber(value) {
    if (value === null || value === undefined) return "";
    const magnitude = Math.abs(value);
    return magnitude !== 0 && (magnitude < 1e-3 || magnitude >= 1e7) ? value.toExponential(4) : String(value);
  }

  // A table cell: numbers to twelve significant digits (a difference of
  // two values printed to fewer digits shows no rounding noise).
  function cellText(value) {
    if (value === null || value === undefined) return "";
    return typeof value === "number" ? String(Number(value.toPrecision(12))) : String(value);
  }

  // A series: colour by quantity (`colourIndex`), line style by run (`runIndex`).
  function lineDataset(label, data, colourIndex, runIndex) {
    const colour = PALETTE[colourIndex % PALETTE.length];
    return {
      label,
      data,
      borderColor: colour,
      backgroundColor: colour,
      borderDash: DASHES[(runIndex || 0) % DASHES.length],
      borderWidth: 2,
      pointRadius: 2.5,
      spanGaps: false,
    };
  }

  // The chart's legend in the page: one entry per series, a click hides or shows it.
  function drawLegend(canvas, chart) {
    const box = canvas.closest(".chart-box");
    let legend = box.nextElementSibling;
    if (!legend || !legend.classList.contains("legend")) {
      legend = dom.element("ul", "legend");
      box.after(legend);
    }
    legend.replaceChildren(...chart.data.datasets.map((dataset, index) => {
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
    }));
  }

  function drawChart(canvasId, title, xTitle, labels, datasets, logarithmic) {
    const canvas = dom.byId(canvasId);
    if (charts.has(canvasId)) charts.get(canvasId).destroy();
    const grid = theme.themeColour("--border");
    const text = theme.themeColour("--muted");
    const chart = new Chart(canvas, {
      type: "line",
      data: { labels, datasets },
      options: {
        animation: false,
        responsive: true,
        maintainAspectRatio: false,
        interaction: { mode: "index", intersect: false },
        color: text,
        plugins: {
          legend: { display: false },
          title: { display: Boolean(title), text: title, color: text },
          tooltip: {
            callbacks: { label: (context) => `${context.dataset.label}: ${formatNumber(context.raw)}` },
          },
        },
        scales: {
          x: { title: { display: Boolean(xTitle), text: xTitle, color: text }, ticks: { color: text, maxRotation: 0, autoSkip: true }, grid: { color: grid } },
          y: { type: logarithmic ? "logarithmic" : "linear", ticks: { color: text }, grid: { color: grid } },
        },
      },
    });
    charts.set(canvasId, chart);
    drawLegend(canvas, chart);
    return chart;
  }

  function forget(canvasId) {
    if (charts.has(canvasId)) charts.get(canvasId).destroy();
    charts.delete(canvasId);
  }

  function summaryColumn(summary, name, positiveOnly) {
    const at = summary.columns.indexOf(name);
    return summary.rows.map((row) => (at < 0 ? null : numberOrNull(row[at], positiveOnly)));
  }

  function summaryLabels(summary) {
    const at = summary.columns.indexOf(SUMMARY_X);
    return summary.rows.map((row, index) => String(at >= 0 && row[at] !== null ? row[at] : index));
  }

  // The series of the summary charts of one or more runs ([{name, summary}]),
  // a run's name before each series when there are several.
  function summarySeries(runs, columns, positiveOnly) {
    return runs.flatMap((run, runIndex) => columns.map((column, columnIndex) =>
      lineDataset(runs.length > 1 ? `${run.name}: ${column}` : column,
        summaryColumn(run.summary, column, positiveOnly), columnIndex, runIndex)));
  }

  function drawSummaryCharts(runs, logCanvas, linearCanvas) {
    const longest = runs.reduce((best, run) => (run.summary.rows.length > best.summary.rows.length ? run : best));
    const labels = summaryLabels(longest.summary);
    drawChart(logCanvas, "Convergence functions and total L-infeasibility (log scale)", SUMMARY_X, labels,
      summarySeries(runs, SUMMARY_LOG_SERIES, true), true);
    // One quantity, several runs: each run its own colour too.
    const objective = summarySeries(runs, SUMMARY_LINEAR_SERIES, false).map((dataset, runIndex) =>
      lineDataset(dataset.label, dataset.data, runIndex, runIndex));
    drawChart(linearCanvas, "Objective function value", SUMMARY_X, labels, objective, false);
  }

  return {
    PALETTE, DASHES, numberOrNull, formatNumber, cellText, lineDataset, drawChart, forget, drawSummaryCharts,
    summarySeries, summaryLabels, chartOf: (canvasId) => charts.get(canvasId),
  };
});
