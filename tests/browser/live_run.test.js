// A run followed in the page of `tarnview serve` as it goes: the optimiser
// stand-in writes through the Python writer, one iteration each time the
// test asks, and each new iteration's row and chart point must reach the
// page; then the report when the run ends, or "stopped without an end"
// when its writer is killed.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

let browser;
let dir;
const servers = [];
const standIns = [];

before(async () => {
  dir = support.freshDir("browser-live-run");
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  for (const server of servers) await support.stopServer(server);
  for (const standIn of standIns) await standIn.killed();
});

const from = (server) => (url) => url.startsWith(`${server.origin}/`);

async function serveStandIn(name) {
  const standIn = support.startStandIn(path.join(dir, name));
  standIns.push(standIn);
  await standIn.heard("ready");
  const server = await support.startServer([standIn.base]);
  servers.push(server);
  return { standIn, server };
}

const rowOnScreen = (page, major) => page.waitForSelector(`#run-iterations tr[data-iteration="${major}"]`,
  { visible: true, timeout: 60000 });
const chartPoints = (page, canvasId) => page.evaluate((id) => {
  const chart = Chart.getChart(document.getElementById(id));
  return chart ? chart.data.labels.length : 0;
}, canvasId);
// The live table agrees with the report's summary written at the end: the
// same rows, numbered alike, with the same values (to the digits the
// report prints).
function sameAsReportSummary(live, report) {
  assert.equal(live.rows.length, report.rows.length, "a row for each of the summary's");
  for (const column of ["Major Iteration", "Objective Function Value", "Objective Convergence Function",
    "Residual Convergence Function", "Variable Convergence Function"]) {
    const liveAt = live.columns.indexOf(column);
    const reportAt = report.columns.indexOf(column);
    assert.ok(liveAt >= 0 && reportAt >= 0, column);
    live.rows.forEach((row, at) => {
      const shown = Number(row[liveAt]);
      const printed = report.rows[at][reportAt];
      assert.ok(Math.abs(shown - printed) <= 1e-3 * Math.abs(printed) + 1e-12, `${column}, row ${at}: ${shown} and ${printed}`);
    });
  }
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

test("each iteration the writer adds reaches the page's table and charts, then the report at the iteration chosen", async (t) => {
  const { standIn, server } = await serveStandIn("followed");
  const { page, problems } = await support.openPage(browser, server.url, from(server), "run-shown");
  assert.equal(await page.$eval("#run-state", (node) => node.textContent), "running");
  const latencies = [];
  for (let iter = 0; iter < 8; ++iter) {
    standIn.send("next");
    const written = await standIn.heard(`iteration ${iter}`);
    await rowOnScreen(page, iter - 1);
    await page.waitForFunction((id, count) => {
      const chart = Chart.getChart(document.getElementById(id));
      return chart && chart.data.labels.length === count;
    }, { timeout: 60000 }, "chart-run-objective", iter + 1);
    latencies.push(performance.now() - written);
    if (iter === 6) await page.click("#run-charts .legend li:nth-child(4) .legend-entry");
    if (iter === 5) await support.screenshot(page, "live-run", "tarnview-live-run.png");
  }
  t.diagnostic(`from the writer's iteration to its row and chart point on screen: ${latencies.map((ms) => ms.toFixed(0)).join(", ")} ms`);
  assert.ok(median(latencies) < 1000, `median ${median(latencies).toFixed(0)} ms`);
  assert.equal(await chartPoints(page, "chart-run-convergence"), 8);
  assert.equal(await page.$eval("#run-charts .legend li:nth-child(4) .legend-entry", (entry) => entry.getAttribute("aria-pressed")), "false",
    "a series hidden stays hidden as points arrive");
  assert.equal(await page.$eval("#run-iterations tbody", (body) => body.rows.length), 8);
  // The last row as the writer gave it: major iteration 6, -1000 - 100 * (1 - 0.5^7).
  const lastRow = await page.$eval('#run-iterations tr[data-iteration="6"]', (row) => [...row.cells].map((cell) => cell.textContent));
  assert.deepEqual(lastRow.slice(0, 4), ["6", "yes", "-1099.21875", "0"]);

  const liveTable = await page.$eval("#run-iterations", (table) => ({
    columns: [...table.tHead.rows[0].cells].map((cell) => cell.textContent),
    rows: [...table.tBodies[0].rows].map((row) => [...row.cells].map((cell) => cell.textContent)),
  }));
  await page.click('#run-iterations tr[data-iteration="3"]');
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.$eval('#run-iterations tr[aria-selected="true"]', (row) => row.dataset.iteration), "4", "a click, then a key");
  standIn.send("close");
  await standIn.heard("closed");
  sameAsReportSummary(liveTable, JSON.parse(support.run("tarnview", ["summary", "--json", `${standIn.base}.log`])));
  await page.waitForFunction(() => document.body.dataset.view === "report" &&
    [...document.querySelectorAll(".row.current")].some((row) => row.textContent.includes("Major Iteration 4")), { timeout: 60000 });
  assert.ok(fs.existsSync(`${standIn.base}.log`));
  assert.match(new URL(page.url()).search, /report=\d+/);
  assert.deepEqual(problems, []);
  await page.close();
});

// A stand-in that wrote three iterations, shown in a page, then killed:
// the page says the run stopped.
async function killedOnScreen(name) {
  const { standIn, server } = await serveStandIn(name);
  for (let iter = 0; iter < 3; ++iter) {
    standIn.send("next");
    await standIn.heard(`iteration ${iter}`);
  }
  const { page, problems } = await support.openPage(browser, server.url, from(server), "run-shown");
  await rowOnScreen(page, 1);
  await standIn.killed();
  await page.waitForFunction(() => document.getElementById("run-state").textContent === "stopped without an end", { timeout: 60000 });
  return { standIn, page, problems };
}

test("a writer killed mid-run: the page says the run stopped without an end, and nothing was made of it", async () => {
  const { standIn, page, problems } = await killedOnScreen("killed");
  assert.equal(await page.$eval("#run-iterations tbody", (body) => body.rows.length), 3, "the iterations written stay shown");
  assert.ok(fs.existsSync(`${standIn.base}.vdr.progress`), "the progress is left as it was");
  assert.ok(!fs.existsSync(`${standIn.base}.vdr`) && !fs.existsSync(`${standIn.base}.log`), "no run data and no report");
  assert.deepEqual(problems, []);
  await page.close();
});

test("a new run under the same base: the live view starts over with it", async () => {
  const { standIn, page, problems } = await killedOnScreen("again");
  const again = support.startStandIn(standIn.base);
  standIns.push(again);
  await again.heard("ready");
  again.send("next");
  await again.heard("iteration 0");
  await page.waitForFunction(() => document.getElementById("run-state").textContent === "running" &&
    [...document.querySelectorAll("#run-iterations tbody tr")].map((row) => row.dataset.iteration).join() === "-1",
  { timeout: 60000 });
  assert.equal(await chartPoints(page, "chart-run-objective"), 1, "the chart holds the new run's point only");
  assert.deepEqual(problems, []);
  await page.close();
});

test("a hidden page asks the server nothing, and catches up at once when shown again", async () => {
  const { standIn, server } = await serveStandIn("hidden");
  standIn.send("next");
  await standIn.heard("iteration 0");
  const { page, problems } = await support.openPage(browser, server.url, from(server), "run-shown");
  await rowOnScreen(page, -1);
  let asked = 0;
  page.on("request", (request) => { if (request.url().includes("/progress")) ++asked; });
  // Another page in front hides the first, and follows the same run: two
  // of its polls, each with a new iteration, pass while the first is hidden.
  const other = await support.openPage(browser, server.url, from(server), "run-shown");
  await other.page.bringToFront();
  await page.waitForFunction(() => document.hidden, { timeout: 60000 });
  const askedWhenHidden = asked;
  for (let iter = 1; iter <= 2; ++iter) {
    standIn.send("next");
    await standIn.heard(`iteration ${iter}`);
    await rowOnScreen(other.page, iter - 1);
  }
  assert.equal(asked - askedWhenHidden, 0, "no request while hidden");
  assert.equal(await page.$eval("#run-iterations tbody", (body) => body.rows.length), 1);
  await page.bringToFront();
  await page.waitForFunction(() => document.querySelectorAll("#run-iterations tbody tr").length === 3, { timeout: 60000 });
  assert.deepEqual(problems, []);
  assert.deepEqual(other.problems, []);
  await other.page.close();
  await page.close();
});

test("a run's table scrolled to an iteration opens the report at that iteration's block when the run ends", async () => {
  const { standIn, server } = await serveStandIn("scrolled");
  const { page, problems } = await support.openPage(browser, server.url, from(server), "run-shown");
  await page.setViewport({ width: 1000, height: 600 });
  for (let iter = 0; iter < 40; ++iter) {
    standIn.send("next");
    await standIn.heard(`iteration ${iter}`);
  }
  await rowOnScreen(page, 38);
  assert.ok(await page.$eval("#run-table-box", (box) => box.scrollHeight > box.clientHeight * 2), "the table scrolls");
  await page.$eval("#run-table-box", (box) => {
    const row = box.querySelector('tr[data-iteration="10"]');
    box.scrollTop = row.offsetTop - box.querySelector("thead").offsetHeight + 2;
  });
  standIn.send("close");
  await standIn.heard("closed");
  await page.waitForFunction(() => document.body.dataset.view === "report" &&
    [...document.querySelectorAll(".row.current")].some((row) => row.textContent.includes("Major Iteration 10")), { timeout: 60000 });
  assert.deepEqual(problems, []);
  await page.close();
});
