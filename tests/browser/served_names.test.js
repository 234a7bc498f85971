// Names as links in the page of `tarnview serve`: a name opens its history
// without moving the report, Back returns; three runs compared, each series
// in a legend that shows them all, a name of the differences table opens
// its history in every run, overlaid.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const path = require("node:path");
const support = require("./support");

let browser;
let server;

before(async () => {
  const dir = support.freshDir("browser-names");
  const reports = [];
  for (const seed of [1, 2, 3]) {
    const base = path.join(dir, `run-${seed}`);
    support.run("write_synthetic_run", [`${base}.vdr`, "--variables", "300", "--equations", "300", "--iterations", "6",
      "--seed", String(seed)]);
    reports.push(support.writeReport(base));
  }
  server = await support.startServer(reports);
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  await support.stopServer(server);
});

const from = (url) => url.startsWith(`${server.origin}/`);

// The first line shown at the top of the text, and where it is.
const topOfText = (page) => page.evaluate(() => {
  const box = document.getElementById("document").getBoundingClientRect();
  const row = [...document.querySelectorAll("#document-rows .row")].find((each) => each.getBoundingClientRect().bottom > box.top);
  return { line: Number(row.dataset.line), offset: Math.round(row.getBoundingClientRect().top - box.top) };
});

test("a name in a table row opens its history; the report stays where it was; Back closes it", async () => {
  const { page, problems } = await support.openPage(browser, server.url, from);
  const outline = await page.evaluate(() => tarnview.use("source").servedSource(
    new URLSearchParams(window.location.search).get("token"), 0).outline());
  const table = outline.regions.find((region) => region.kind === "table" && region.title === "Variable Details");
  await page.keyboard.press("g");
  await page.keyboard.type(String(table.line + 1));
  await page.keyboard.press("Enter");
  const name = await (await page.waitForFunction((start) => {
    const link = [...document.querySelectorAll("#document-rows .row:not(.pending) .name")]
      .find((node) => Number(node.closest(".row").dataset.line) > start + 5);
    return link ? link.textContent : null;
  }, {}, table.line)).jsonValue();
  const before = await topOfText(page);
  await page.evaluate((wanted) => [...document.querySelectorAll("#document-rows .name")].find((node) => node.textContent === wanted).click(), name);
  await page.waitForFunction((wanted) => document.getElementById("history-heading").textContent === `History of ${wanted} (variable)`, {}, name);
  assert.deepEqual(await topOfText(page), before, "the same line at the same place");
  const charts = await page.$$eval("#history-charts canvas", (canvases) => canvases.map((canvas) => {
    const chart = Chart.getChart(canvas);
    return { title: chart.options.plugins.title.text, height: canvas.getBoundingClientRect().height, labels: chart.data.labels };
  }));
  assert.ok(charts.length >= 2, "one chart per kind of quantity");
  assert.match(charts[0].title, /^Lower, Value, Upper/);
  for (const chart of charts) {
    assert.ok(chart.height >= 150, `${chart.title}: ${chart.height} px tall`);
    assert.equal(chart.labels[0], "-1");  // the initial point, numbered as in the summary
  }
  await page.goBack();
  await page.waitForFunction(() => document.getElementById("history").hidden);
  assert.deepEqual(await topOfText(page), before);
  await page.goForward();
  await page.waitForFunction(() => !document.getElementById("history").hidden);
  assert.deepEqual(problems, []);
  await page.close();
});

for (const [width, height] of [[1400, 900], [1024, 768]]) {
  test(`${width}x${height}: three runs compared, every series in the legend, a name's history in every run`, async () => {
    const { page, problems } = await support.openPage(browser, server.url, from);
    await page.setViewport({ width, height });
    await page.click("#show-compare");
    await page.waitForSelector("#differences tbody tr .name-link");
    const legend = await page.$$eval("#compare-view .chart-column:first-child .legend .legend-entry", (entries) => entries.map((entry) => ({
      label: entry.textContent,
      style: getComputedStyle(entry.querySelector(".swatch")).borderTopStyle,
      colour: getComputedStyle(entry.querySelector(".swatch")).borderTopColor,
    })));
    const datasets = await page.evaluate(() =>
      Chart.getChart(document.getElementById("chart-compare-convergence")).data.datasets.map((set) => set.label));
    assert.equal(datasets.length, 12, "four series of each of three runs");
    assert.deepEqual(legend.map((entry) => entry.label), datasets, "every series in the legend");
    const styles = new Set(legend.map((entry) => entry.style));
    assert.ok(styles.size >= 2, "the runs told apart by line style");
    // Each entry can be scrolled to inside the legend, none cut off at the side.
    const clipped = await page.$$eval("#compare-view .chart-column:first-child .legend li", (items) => {
      const box = items[0].parentElement.getBoundingClientRect();
      return items.filter((item) => item.getBoundingClientRect().right > box.right + 1).length;
    });
    assert.equal(clipped, 0);

    const name = await page.$eval("#differences tbody tr .name-link", (link) => link.textContent);
    await page.click("#differences tbody tr .name-link");
    await page.waitForFunction((wanted) => document.getElementById("compare-history-heading").textContent ===
      `History of ${wanted} in 3 reports`, {}, name);
    const series = await page.evaluate(() => Chart.getChart(document.getElementById("chart-compare-history-0")).data.datasets.map((set) => set.label));
    for (const run of ["run-1.log", "run-2.log", "run-3.log"]) assert.ok(series.some((label) => label.startsWith(`${run}: `)), run);
    await support.screenshot(page, `compare-three-${width}x${height}`, width === 1400 ? "tarnview-compare.png" : undefined);
    assert.deepEqual(problems, []);
    await page.close();
  });
}
