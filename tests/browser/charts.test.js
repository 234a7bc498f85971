// The charts read as a planner reads them, at 1366x768 and 1920x1080: on
// the examples and on a run whose values span 30 decades, every chart's
// tick labels (as Chart.js drew them) short, distinct and apart; a click on
// a point goes to its iteration's block; the theme switch restyles a chart
// that is open; reports of one file name told apart in compare, whose
// history follows the reports chosen.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

const sizes = [[1366, 768], [1920, 1080]];
const examples = ["blending", "refinery_infeasible", "refinery_unbounded"];
let browser;
let server;
let dir;

// blending.vdr over 31 more iterations whose infeasibility runs from 1e15
// to 1e-15, the objective from 1e-15 to 1e15, a variable's value, step
// and shadow price over as many decades, another's value by 1e-9 a step.
function writeWideRun(base) {
  const run = JSON.parse(fs.readFileSync(path.join(support.root, "examples", "blending.vdr"), "utf8"));
  const [initial, pattern] = run.iterations;
  run.iterations = [initial, ...Array.from({ length: 31 }, (_, k) => {
    const iteration = JSON.parse(JSON.stringify(pattern));
    Object.assign(iteration, {
      infeasibility: 10 ** (15 - k), objective: 1e-15 * 10 ** k, user_objective: 1e-15 * 10 ** k,
      variable_convergence: 10 ** -k, residual_convergence: 10 ** -k / 3, objective_convergence: 7 * 10 ** -k,
    });
    iteration.variables[0] = [10 ** (k - 15), 10 ** -k, -(10 ** (k - 10))];
    iteration.variables[1] = [1 + 1e-9 * k, 1e-3, 2];
    return iteration;
  })];
  run.solver.options.ITERLIM = 100;
  fs.writeFileSync(`${base}.vdr`, JSON.stringify(run));
}

before(async () => {
  dir = support.freshDir("browser-charts");
  for (const name of examples) {
    fs.copyFileSync(path.join(support.root, "examples", `${name}.vdr`), path.join(dir, `${name}.vdr`));
    support.writeReport(path.join(dir, name));
  }
  writeWideRun(path.join(dir, "wide"));
  support.writeReport(path.join(dir, "wide"));
  for (const name of [...examples, "wide"]) support.run("tarnview", ["html", path.join(dir, `${name}.log`)]);
  // Two reports of one file name in folders of their own.
  for (const folder of ["a", "b"]) {
    fs.mkdirSync(path.join(dir, folder));
    fs.copyFileSync(path.join(dir, folder === "a" ? "blending.log" : "wide.log"), path.join(dir, folder, "run.log"));
  }
  server = await support.startServer([path.join(dir, "a", "run.log"), path.join(dir, "b", "run.log"),
    path.join(dir, "refinery_infeasible.log")]);
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  await support.stopServer(server);
});

const fileOnly = (url) => url.startsWith("file:") || url.startsWith("data:") || url.startsWith("blob:");
const fromServer = (url) => url.startsWith(`${server.origin}/`);

async function openHtml(name, [width, height]) {
  const opened = await support.openPage(browser, support.pathToFileURL(path.join(dir, `${name}.html`)).href, fileOnly);
  await opened.page.setViewport({ width, height });
  await opened.page.waitForFunction(() => Chart.getChart(document.getElementById("chart-objective")));
  return opened;
}

// Every chart on screen: its id, its y axis's type, and its y ticks' labels
// with their distance in pixels from the previous one.
const drawnCharts = (page) => page.evaluate(() => [...document.querySelectorAll("canvas")]
  .filter((canvas) => canvas.offsetParent !== null && Chart.getChart(canvas))
  .map((canvas) => {
    const chart = Chart.getChart(canvas);
    const y = chart.scales.y;
    return {
      id: canvas.id,
      type: y.type,
      labels: y.ticks.map((tick) => tick.label),
      gaps: y.ticks.slice(1).map((_, at) => Math.abs(y.getPixelForTick(at + 1) - y.getPixelForTick(at))),
    };
  }));

function checkTicks(charts, where) {
  assert.ok(charts.length >= 2, `${where}: ${charts.length} charts`);
  for (const chart of charts) {
    const what = `${where} ${chart.id} (${chart.type}): ${JSON.stringify(chart.labels)}`;
    assert.ok(chart.labels.length >= 2, what);
    assert.equal(new Set(chart.labels).size, chart.labels.length, `${what}: two alike`);
    for (const label of chart.labels) {
      assert.match(label, /^-?\d+(\.\d+)?(k|e-?\d+)?$/, what);
      assert.ok(label.length <= 9, `${what}: ${label} is long`);
    }
    assert.ok(chart.gaps.every((gap) => gap >= 12), `${what}: labels ${chart.gaps} px apart`);
  }
}

for (const size of sizes) {
  test(`${size.join("x")}: the summary charts' ticks short and distinct on every example and a run of 30 decades`, async () => {
    for (const name of [...examples, "wide"]) {
      const { page, problems } = await openHtml(name, size);
      const charts = await drawnCharts(page);
      checkTicks(charts, name);
      if (name === "wide") {
        assert.deepEqual(charts.map((chart) => chart.type), ["logarithmic", "logarithmic"], "30 decades on log axes");
        await support.screenshot(page, `charts-wide-${size.join("x")}`);
      }
      assert.deepEqual(problems, []);
      await page.close();
    }
  });
}

test("a click on a chart's point goes to its iteration's block; the tooltip gives the value in full; the scale switches", async () => {
  const { page, problems } = await openHtml("wide", sizes[0]);
  const report = await page.evaluate(async () => {
    const { embeddedData } = tarnview.use("source");
    return (await embeddedData(document.getElementById("report-data").textContent)).report;
  });
  for (const iteration of [3, 20]) {
    const point = await page.evaluate((wanted) => {
      const canvas = document.getElementById("chart-objective");
      const chart = Chart.getChart(canvas);
      const index = chart.data.labels.indexOf(String(wanted));
      const element = chart.getDatasetMeta(0).data[index];
      const box = canvas.getBoundingClientRect();
      return { x: box.left + element.x, y: box.top + element.y };
    }, iteration);
    await page.mouse.click(point.x, point.y);
    const block = report.iterations.find((entry) => entry.iteration === iteration);
    await page.waitForSelector(`#document-rows .row.current[data-line="${report.regions[block.region].line}"]`);
  }
  const tooltip = await page.evaluate(() => {
    const chart = Chart.getChart(document.getElementById("chart-objective"));
    return chart.options.plugins.tooltip.callbacks.label({ dataset: chart.data.datasets[0], dataIndex: 5, raw: null });
  });
  const objective = report.summary.columns.indexOf("Objective Function Value");
  assert.equal(tooltip, `Objective Function Value: ${String(report.summary.rows[5][objective])}`);
  await page.click("#charts .chart-column:last-child .scale-switch");
  await page.waitForFunction(() => Chart.getChart(document.getElementById("chart-objective")).scales.y.type === "linear");
  checkTicks(await drawnCharts(page), "objective switched to linear");
  assert.deepEqual(problems, []);
  await page.close();
});

const historyOf = async (page, name) => {
  await support.search(page, name);
  await page.click("#search-history button");
  await page.waitForFunction((wanted) => document.getElementById("history-heading").textContent.startsWith(`History of ${wanted} (`),
    {}, name);
};

test("served: the history's charts of 30 decades read, +inf as the report prints it, restyled by the theme switch", async () => {
  const { page, problems } = await support.openPage(browser, `${server.url}&report=1`, fromServer);
  await page.setViewport({ width: sizes[0][0], height: sizes[0][1] });
  await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
  await page.select("#theme-select", "light");
  // H on a table row of F_C1_POOL: its history, as in the terminal view.
  await support.search(page, "F_C1_POOL");
  await page.evaluate(() => [...document.querySelectorAll("#hits .hit-group")]
    .find((group) => group.querySelector("h3").textContent.endsWith("Variable Details")).querySelector(".hit").click());
  await page.waitForSelector("#document-rows .row.current");
  await page.keyboard.press("H");
  await page.waitForFunction(() => document.getElementById("history-heading").textContent === "History of F_C1_POOL (variable)");
  checkTicks(await drawnCharts(page), "history of F_C1_POOL");
  const linesShown = await page.evaluate(() => {
    const box = document.getElementById("document").getBoundingClientRect();
    return [...document.querySelectorAll("#document-rows .row")].filter((row) => {
      const at = row.getBoundingClientRect();
      return at.top >= box.top && at.bottom <= box.bottom;
    }).length;
  });
  assert.ok(linesShown >= 10, `${linesShown} lines of the report beside the charts and a history`);
  await historyOf(page, "SLACK_GAS");
  const bounds = await page.$$eval("#history-table tr", (rows) => {
    const at = (title) => [...rows[0].cells].findIndex((cell) => cell.textContent === title);
    return [...new Set(rows.slice(1).map((row) => `${row.cells[at("Lower")].textContent} ${row.cells[at("Upper")].textContent}`))];
  });
  assert.deepEqual(bounds, ["-inf +inf"], "infinite bounds as the report prints them");

  const colours = () => page.evaluate(() => ({
    border: getComputedStyle(document.documentElement).getPropertyValue("--border").trim(),
    muted: getComputedStyle(document.documentElement).getPropertyValue("--muted").trim(),
    charts: [...document.querySelectorAll("#history-charts canvas, #charts canvas")].map((canvas) => {
      const { options } = Chart.getChart(canvas);
      return [options.scales.y.grid.color, options.scales.x.ticks.color];
    }),
  }));
  const light = await colours();
  await page.select("#theme-select", "dark");
  const dark = await colours();
  assert.notEqual(dark.border, light.border);
  assert.ok(dark.charts.length >= 3, `${dark.charts.length} charts`);
  for (const [grid, text] of dark.charts) assert.deepEqual([grid, text], [dark.border, dark.muted]);
  assert.deepEqual(problems, []);
  await page.close();
});

test("served: reports of one file name told apart everywhere; compare's history follows the reports chosen", async () => {
  const { page, problems } = await support.openPage(browser, server.url, fromServer);
  await page.setViewport({ width: sizes[1][0], height: sizes[1][1] });
  const names = ["a/run.log", "b/run.log", "refinery_infeasible.log"];
  assert.deepEqual(await page.$$eval("#report-select option", (options) => options.map((option) => option.textContent)), names);
  assert.equal(await page.$eval("#file-name", (node) => node.textContent), "a/run.log");
  // Another report starts at its top, wherever the last one was.
  await page.$eval("#document", (box) => { box.scrollTop = 2000; });
  await page.select("#report-select", "1");
  await page.waitForFunction(() => document.getElementById("file-name").textContent === "b/run.log");
  await page.waitForSelector('#document-rows .row[data-line="0"]');
  assert.equal(await page.$eval("#document", (box) => box.scrollTop), 0);
  await page.click("#show-compare");
  await page.waitForSelector("#differences tbody tr .name-link");
  assert.deepEqual(await page.$$eval("#compare-reports label", (labels) => labels.map((label) => label.textContent.trim())), names);
  for (const pair of ["#compare-a", "#compare-b"]) {
    assert.deepEqual(await page.$$eval(`${pair} option`, (options) => options.map((option) => option.textContent)), names);
  }
  const legend = await page.evaluate(() =>
    Chart.getChart(document.getElementById("chart-compare-objective")).data.datasets.map((set) => set.label));
  assert.deepEqual(legend, names.map((name) => `${name}: Objective Function Value`));

  await page.evaluate(() => [...document.querySelectorAll("#differences .name-link")].find((link) => link.textContent === "F_C1_POOL").click());
  const heading = (text) => page.waitForFunction((wanted) =>
    document.getElementById("compare-history-heading").textContent === wanted, {}, text);
  const series = () => page.evaluate(() => Chart.getChart(document.getElementById("chart-compare-history-0")).data.datasets
    .map((set) => set.label.split(": ")[0]));
  await heading("History of F_C1_POOL in 2 reports (1 without it)");
  assert.deepEqual([...new Set(await series())], ["a/run.log", "b/run.log"]);
  // Run A and B now the refinery run and b/run.log, a/run.log no longer overlaid.
  await page.select("#compare-a", "2");
  await page.click("#compare-reports label:first-of-type input");
  await heading("History of F_C1_POOL in b/run.log (1 without it)");
  await support.screenshot(page, "charts-compare-same-names");
  // The refinery run has no F_C1_POOL: the server answers its history 404, which is how the page learns it.
  assert.deepEqual(problems.filter((problem) => !problem.includes("status of 404")), []);
  await page.close();
});
