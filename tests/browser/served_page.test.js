// The page of `tarnview serve` in Chromium: a synthetic report of about
// 140 MB (20,000 variables, 20,000 equations, 31 iterations) beside a second
// run of the same model, and small reports for markup and a reload.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

const shape = ["--variables", "20000", "--equations", "20000", "--iterations", "31"];

let browser;
let big;
let small;
let dir;

async function api(server, apiPath) {
  const response = await fetch(`${server.origin}${apiPath}?token=${server.token}`);
  assert.equal(response.status, 200, apiPath);
  return response.json();
}

// 300 lines of 100 kB: more text than the server sends in one answer for
// the lines of one request; a region after them makes it a report.
function writeLongLines(file) {
  const lines = Array.from({ length: 300 }, (_, at) => `L${String(at).padStart(4, "0")} ${"x".repeat(100000)}`);
  fs.writeFileSync(file, `${lines.join("\n")}\n#region 1, After the long lines\n#endregion\n`);
}

before(async () => {
  dir = support.freshDir("browser-served");
  for (const [name, seed] of [["run-a", 1], ["run-b", 2]]) {
    const base = path.join(dir, name);
    support.run("write_synthetic_run", [`${base}.vdr`, ...shape, "--seed", String(seed)]);
    support.writeReport(base);
    fs.rmSync(`${base}.vdr`);
  }
  fs.copyFileSync(path.join(support.root, "examples", "blending.vdr"), path.join(dir, "blending.vdr"));
  support.writeReport(path.join(dir, "blending"));
  support.writeHostileRun(path.join(dir, "hostile"));
  support.writeReport(path.join(dir, "hostile"));
  fs.copyFileSync(path.join(support.root, "examples", "refinery_infeasible.vdr"), path.join(dir, "refinery.vdr"));
  support.writeReport(path.join(dir, "refinery"));

  big = await support.startServer([path.join(dir, "run-a.log"), path.join(dir, "run-b.log")]);
  writeLongLines(path.join(dir, "long-lines.log"));
  support.writeLineOf100MB(path.join(dir, "line-of-100-mb.log"));
  small = await support.startServer([path.join(dir, "blending.log"), path.join(dir, "hostile.log"),
    path.join(dir, "long-lines.log"), path.join(dir, "line-of-100-mb.log")]);
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  await support.stopServer(big);
  await support.stopServer(small);
});

const from = (server) => (url) => url.startsWith(`${server.origin}/`);

function withIds(report) {
  return report.regions.map((region, id) => ({ ...region, id }));
}

const iterationBlocks = (report) => withIds(report).filter((region) => region.kind === "iteration");
const childTitled = (report, block, title) => withIds(report).find((region) => region.parent === block.id && region.title === title);
const treeState = (page, id) => page.$eval(`#region-${id}`, (item) => item.getAttribute("aria-expanded"));

const historyChartPoints = (page) => page.evaluate(() => {
  const chart = Chart.getChart(document.getElementById("chart-history-0"));
  return chart ? chart.data.labels.length : 0;
});

test("a 140 MB report served: outline, a region deep in the file, a table row's history, search", async (t) => {
  const outline = await api(big, "/api/reports/0/outline");
  assert.ok(outline.bytes > 130e6, `a report of ${(outline.bytes / 1e6).toFixed(0)} MB`);
  const { page, problems } = await support.openPage(browser, big.url, from(big));
  t.diagnostic(`${(outline.bytes / 1e6).toFixed(0)} MB report served: outline shown ` +
    `${(await support.outlineShownMs(page)).toFixed(0)} ms after the page was opened`);
  assert.deepEqual(await support.outlineItems(page), support.regionsShownAtFirst(outline));

  const blocks = iterationBlocks(outline);
  const last = blocks.at(-1);
  const deep = childTitled(outline, last, "Equation Details");
  assert.ok(deep.line > outline.lineCount * 0.9, "a region near the end of the file");
  await support.clickOutlineItem(page, last.id, ".twisty");
  assert.equal(await treeState(page, last.id), "true");
  await support.clickOutlineItem(page, deep.id, ".title");
  await page.waitForSelector(`#document-rows .row.current[data-line="${deep.line}"]`);
  // A table row's name in the region, clicked as soon as its line is there
  // (rows are drawn anew as lines arrive: found and clicked in one step).
  const clickRowName = (start) => {
    const name = [...document.querySelectorAll("#document-rows .row:not(.pending) .name")]
      .find((node) => Number(node.closest(".row").dataset.line) > start);
    if (name) name.click();
    return name ? name.textContent : null;
  };
  const equation = await (await page.waitForFunction(clickRowName, {}, deep.line)).jsonValue();
  const nodes = await page.evaluate(() => document.getElementsByTagName("*").length);
  assert.ok(nodes < 5000, `${nodes} elements in the page`);
  assert.match(equation, /^E\d{7}$/);
  await page.waitForFunction((wanted) => document.getElementById("history-heading").textContent === wanted,
    {}, `History of ${equation} (equation)`);
  await page.waitForFunction((points) =>
    Chart.getChart(document.getElementById("chart-history-0"))?.data.labels.length === points, {}, blocks.length);

  const variable = "V0012345";
  const took = await support.search(page, variable);
  t.diagnostic(`search for ${variable}: ${took.toFixed(1)} ms`);
  const hits = await page.$$eval("#hits .hit", (buttons) => buttons.map((button) => Number(button.dataset.line)));
  for (const block of blocks) {
    const table = childTitled(outline, block, "Variable Details");
    assert.ok(hits.some((line) => line > table.line && line < table.end), `${variable}'s row in ${block.title}`);
  }
  await page.click("#search-history button");
  await page.waitForFunction((wanted) => document.getElementById("history-heading").textContent === wanted,
    {}, `History of ${variable} (variable)`);
  assert.equal(await historyChartPoints(page), blocks.length);
  assert.equal(await page.$$eval("#history-table tbody tr", (rows) => rows.length), blocks.length);

  // Every block open: more rows than a browser can make tall, the scroll
  // range scaled, and still the end of the file at the end of the scroll.
  // (From the last: a block opened puts its regions after it, the earlier blocks stay where they are.)
  for (const block of [...blocks].reverse()) {
    if (await treeState(page, block.id) === "false") await support.clickOutlineItem(page, block.id, ".twisty");
  }
  const lastLine = outline.regions.reduce((last, region) => Math.max(last, region.end), 0) - 1;
  await page.evaluate(() => {
    const box = document.getElementById("document");
    box.scrollTop = box.scrollHeight;
  });
  await page.waitForSelector(`#document-rows .row[data-line="${lastLine}"]:not(.pending)`);
  await page.evaluate(() => { document.getElementById("document").scrollTop = 0; });
  await page.waitForSelector('#document-rows .row[data-line="0"]:not(.pending)');
  assert.ok(await page.evaluate(() => document.getElementsByTagName("*").length) < 5000);

  // Text outside the index: a page of hits at a time.
  await support.search(page, "Binary");
  const firstPage = await page.$$eval("#hits .hit", (buttons) => buttons.length);
  await page.click("#more-hits");
  await page.waitForFunction((count) => document.querySelectorAll("#hits .hit").length > count, {}, firstPage);
  const lines = await page.$$eval("#hits .hit", (buttons) => buttons.map((button) => Number(button.dataset.line)));
  assert.ok(lines.every((line, at) => at === 0 || line > lines[at - 1]), "the next page's hits after the first's");

  await support.screenshot(page, "served-report");
  assert.deepEqual(problems, []);
  await page.close();
});

test("two runs compared: summaries overlaid, largest differences first", async () => {
  const { page, problems } = await support.openPage(browser, big.url, from(big));
  await page.click("#show-compare");
  await page.waitForSelector("#differences tbody tr");
  const charts = await page.evaluate(() => ["chart-compare-convergence", "chart-compare-objective"].map((id) =>
    Chart.getChart(document.getElementById(id)).data.datasets.map((set) => [set.label, set.data.length])));
  assert.equal(charts[0].length, 8, "four series of each run");
  assert.equal(charts[1].length, 2, "the objective of each run");
  assert.ok(charts.flat().every(([, points]) => points === 31), "one point per major iteration");
  assert.ok(charts[1][0][0].startsWith("run-a.log") && charts[1][1][0].startsWith("run-b.log"));
  const differences = await page.$$eval("#differences tbody tr", (rows) =>
    rows.map((row) => Math.abs(Number(row.cells[5].textContent))));
  assert.ok(differences.length > 10);
  assert.ok(differences.every((value, at) => at === 0 || value <= differences[at - 1]), "largest first");
  await support.screenshot(page, "served-compare");
  assert.deepEqual(problems, []);
  await page.close();
});

test("a report written again is reloaded and the page says so; markup shows as text", async () => {
  const { page, problems } = await support.openPage(browser, small.url, from(small));
  const before = await api(small, "/api/reports/0/outline");
  assert.deepEqual(await support.outlineItems(page), support.regionsShownAtFirst(before));
  fs.copyFileSync(path.join(dir, "refinery.log"), path.join(dir, "blending.log.new"));
  fs.renameSync(path.join(dir, "blending.log.new"), path.join(dir, "blending.log"));
  await page.waitForSelector("#reloaded:not([hidden])", { timeout: 30000 });
  const after = await api(small, "/api/reports/0/outline");
  assert.notEqual(after.regions.length, before.regions.length);
  // The outline is the new report's: each item's title that of its region in the new outline.
  await page.waitForFunction((titles) => {
    const items = [...document.querySelectorAll('[role="treeitem"]')];
    return items.length > 0 && items.every((item) => item.querySelector(".title").textContent === titles[item.dataset.region]);
  }, {}, after.regions.map((region) => region.title));
  await support.screenshot(page, "served-reload");

  await page.select("#report-select", "1");
  await page.waitForFunction((file) => document.getElementById("file-name").textContent === file, {}, "hostile.log");
  await page.waitForFunction((wanted) => [...document.querySelectorAll("#document-rows .row")]
    .some((row) => row.textContent.includes(wanted)), {}, support.hostileDescription);
  await support.search(page, support.hostileName);
  const hits = await page.$$eval("#hits .hit", (buttons) => buttons.map((button) => button.textContent));
  assert.ok(hits.length >= 5 && hits.every((hit) => hit.includes(support.hostileName)));
  assert.equal(await page.$$eval("img, #document-rows script, #hits script", (found) => found.length), 0);
  assert.deepEqual(problems, []);
  await page.close();
});

test("lines longer than one answer of the server holds are fetched in full", async () => {
  const { page, problems } = await support.openPage(browser, `${small.url}&report=2`, from(small));
  await support.search(page, "L0200 ");
  await page.click('#hits .hit[data-line="200"]');
  const row = await page.waitForSelector('#document-rows .row.current[data-line="200"]:not(.pending)');
  assert.match(await row.evaluate((node) => node.textContent), /^201L0200 x{9994}\u2026 90,006 more characters: show more$/);
  // (Rows are drawn anew as lines arrive: the button found and clicked in one step.)
  const showMore = () => document.querySelector('#document-rows .row[data-line="200"] button.more').click();
  await page.evaluate(showMore);
  await page.waitForFunction(() => document.querySelector('#document-rows .row[data-line="200"]').textContent
    .endsWith("x\u2026 6 more characters: show more"));
  await page.evaluate(showMore);
  await page.waitForFunction(() => !document.querySelector('#document-rows .row[data-line="200"] .more'));
  assert.match(await page.$eval('#document-rows .row[data-line="200"]', (node) => node.textContent), /^201L0200 x{100000}$/);
  assert.deepEqual(problems, []);
  await page.close();
});

test("a line of 100 MB served: shown cut short, found, jumped to", async () => {
  const { page, problems } = await support.openPage(browser, `${small.url}&report=3`, from(small));
  await support.search(page, "tail-word");
  assert.deepEqual(await page.$$eval("#hits .hit", (buttons) => buttons.map((button) => Number(button.dataset.line))), [4]);
  await page.click('#hits .hit[data-line="4"]');
  const row = await page.waitForSelector('#document-rows .row.current[data-line="4"]:not(.pending)', { timeout: 60000 });
  const shown = await row.evaluate((node) => node.textContent);
  assert.match(shown, /^5L y{9998}\u2026 104,847,\d{3} more bytes: show more$/, "the whole line's length, though only a piece of it came");
  await page.waitForSelector('#document-rows .row[data-line="5"]:not(.pending)');
  assert.deepEqual(problems, []);
  await page.close();
});
