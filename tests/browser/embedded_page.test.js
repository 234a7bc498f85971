// The page of `tarnview html` in Chromium, for every example report, a report
// whose run data holds markup, and a report that ended early.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

const examplesDir = path.join(support.root, "examples");
const examples = fs.readdirSync(examplesDir).filter((file) => file.endsWith(".vdr")).map((file) => path.basename(file, ".vdr"));
const { hostileName, hostileDescription } = support;

let browser;
let pagesDir;

function writePage(base) {
  support.writeReport(base);
  support.run("tarnview", ["html", `${base}.log`, "-o", `${base}.html`]);
  return `${base}.html`;
}

// The first 300 lines of the blending report after a region end that
// closes nothing: regions left open, a stray end.
function writeTruncatedPage(base) {
  const lines = fs.readFileSync(path.join(pagesDir, "blending.log"), "utf8").split("\n");
  fs.writeFileSync(`${base}.log`, ["#endregion", ...lines.slice(0, 300)].join("\n"));
  support.run("tarnview", ["html", `${base}.log`]);
  return `${base}.html`;
}

// Regions nested 20,000 deep, never closed.
function writeDeepPage(base) {
  const starts = Array.from({ length: 20000 }, (_, at) => `#region 1, R${at}`);
  fs.writeFileSync(`${base}.log`, [...starts, "text"].join("\n"));
  support.run("tarnview", ["html", `${base}.log`]);
}

before(async () => {
  pagesDir = support.freshDir("browser-pages");
  for (const name of examples) {
    fs.copyFileSync(path.join(examplesDir, `${name}.vdr`), path.join(pagesDir, `${name}.vdr`));
    writePage(path.join(pagesDir, name));
  }
  support.writeHostileRun(path.join(pagesDir, "hostile"));
  writePage(path.join(pagesDir, "hostile"));
  writeTruncatedPage(path.join(pagesDir, "truncated"));
  writeDeepPage(path.join(pagesDir, "deep"));
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
});

const fileOnly = (url) => url.startsWith("file:") || url.startsWith("data:") || url.startsWith("blob:");

async function open(name) {
  const file = path.join(pagesDir, `${name}.html`);
  return support.openPage(browser, support.pathToFileURL(file).href, fileOnly);
}

// The report's data as the page holds it: the outline, and every line
// decoded from the page's compressed pieces.
function pageData(page) {
  return page.evaluate(async () => {
    const { embeddedData, gunzipText, base64Bytes } = tarnview.use("source");
    const data = await embeddedData(document.getElementById("report-data").textContent);
    data.lines = [];
    for (const piece of document.querySelectorAll("script.report-piece")) {
      data.lines.push(...JSON.parse(await gunzipText(base64Bytes(piece.textContent))));
    }
    return data;
  });
}

function iterationBlocks(report) {
  return report.regions.map((region, id) => ({ ...region, id })).filter((region) => region.kind === "iteration");
}

function descendant(report, id, title) {
  for (const child of report.regions[id].children) {
    if (report.regions[child].title === title) return report.regions[child];
    const found = descendant(report, child, title);
    if (found) return found;
  }
  return null;
}

// A variable with a row in the Variable Details of every iteration block:
// {name, lines: [its row's line in each block]}.
function variableInEveryBlock(data) {
  const tables = iterationBlocks(data.report).map((block) => descendant(data.report, block.id, "Variable Details"));
  assert.ok(tables.length > 0 && tables.every(Boolean), "every iteration block has its Variable Details");
  const rowOf = (table, name) => {
    for (let line = table.line + 1; line < table.end; ++line) {
      if (data.lines[line][2].startsWith(`${name} `)) return line;
    }
    return -1;
  };
  const first = tables[0];
  for (let line = first.line + 1; line < first.end; ++line) {
    const text = data.lines[line][2];
    const name = / -{2,}/.test(text) ? null : /^[A-Za-z_]\w*(?= )/.exec(text);
    if (!name) continue;
    const lines = tables.map((table) => rowOf(table, name[0]));
    if (lines.every((found) => found >= 0)) return { name: name[0], lines };
  }
  throw new Error("no variable has a row in every iteration block");
}

const treeState = (page, id) =>
  page.$eval(`#region-${id}`, (item) => item.getAttribute("aria-expanded"));
const rowShown = (page, line) => page.$(`#document-rows .row[data-line="${line}"]`).then(Boolean);

// One item per region shown (none inside a closed region), in order, each
// open or closed as at the start.
async function checkOutline(page, data) {
  const shown = support.regionsShownAtFirst(data.report);
  assert.deepEqual(await support.outlineItems(page), shown, "one tree item per region shown, in order");
  for (const id of shown) {
    const region = data.report.regions[id];
    const expected = region.depth === 0 || region.kind !== "iteration";
    assert.equal(await treeState(page, id), String(expected), `${region.title}: open at the start: ${expected}`);
  }
}

const rowGone = (page, line) =>
  page.waitForFunction((wanted) => !document.querySelector(`#document-rows .row[data-line="${wanted}"]`), {}, line);

// By mouse (the title opens and shows a region, the twisty closes it), then
// by keyboard (Space opens, the left arrow closes).
async function checkOpenAndClose(page, block) {
  const inner = block.line + 1;
  assert.equal(await rowShown(page, inner), false, `${block.title}: no text in the page while closed`);
  await page.click(`#region-${block.id} > .item .title`);
  assert.equal(await treeState(page, block.id), "true");
  await page.waitForSelector(`#document-rows .row[data-line="${inner}"]`);
  await page.click(`#region-${block.id} > .item .twisty`);
  assert.equal(await treeState(page, block.id), "false");
  await rowGone(page, inner);

  await page.keyboard.press(" ");
  assert.equal(await treeState(page, block.id), "true");
  await page.waitForSelector(`#document-rows .row[data-line="${inner}"]`);
  await page.keyboard.press("ArrowLeft");
  assert.equal(await treeState(page, block.id), "false");
  await rowGone(page, inner);
}

async function checkVariableSearch(t, page, data) {
  const variable = variableInEveryBlock(data);
  const took = await support.search(page, variable.name);
  t.diagnostic(`search for ${variable.name}: ${took.toFixed(1)} ms`);
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => Number(node.dataset.line)));
  for (const line of variable.lines) assert.ok(hits.includes(line), `a hit on line ${line + 1}, ${variable.name}'s row`);

  const last = variable.lines.at(-1);
  await page.click(`#hits .hit[data-line="${last}"]`);
  const current = await page.waitForSelector(`#document-rows .row.current[data-line="${last}"]`);
  assert.match(await current.evaluate((row) => row.textContent), new RegExp(variable.name));
  const blocks = iterationBlocks(data.report);
  assert.equal(await treeState(page, blocks.at(-1).id), "true", "the hit's iteration block opened");
}

async function checkCharts(page, data) {
  const points = iterationBlocks(data.report).length;
  const charts = await page.evaluate(() => ["chart-convergence", "chart-objective"].map((id) => {
    const chart = Chart.getChart(document.getElementById(id));
    return { scale: chart.options.scales.y.type, labels: chart.data.labels, points: chart.data.datasets.map((set) => set.data.length) };
  }));
  // A log axis where the major iterations' values (the initial point's
  // left out) are positive or zero and span more than three decades.
  const spansDecades = (columns) => {
    const values = data.report.summary.rows.slice(1).flatMap((row) =>
      columns.map((column) => row[data.report.summary.columns.indexOf(column)])).filter((value) => typeof value === "number");
    const positive = values.filter((value) => value > 0);
    return values.every((value) => value >= 0) && positive.length > 0 && Math.max(...positive) / Math.min(...positive) > 1000;
  };
  const convergence = ["Variable Convergence Function", "Residual Convergence Function", "Objective Convergence Function",
    "Total L-Infeasible Value"];
  assert.equal(charts[0].scale, spansDecades(convergence) ? "logarithmic" : "linear");
  assert.equal(charts[0].points.length, 4, "three convergence functions and the total L-infeasibility");
  assert.equal(charts[1].scale, spansDecades(["Objective Function Value"]) ? "logarithmic" : "linear");
  for (const chart of charts) {
    assert.ok(chart.points.every((count) => count === points), `${points} points, one per major iteration`);
    assert.deepEqual(chart.labels, data.report.summary.rows.map((row) => String(row[0])));
  }
  const box = await (await page.$("#chart-objective")).boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.waitForFunction(() =>
    Chart.getChart(document.getElementById("chart-objective")).tooltip.getActiveElements().length > 0);
}

// WCAG's relative luminance, contrast ratio and the hue, of "rgb(r, g, b)"
// or "rrggbb".
function rgbOf(colour) {
  const hex = /^[0-9a-f]{6}$/i.exec(colour);
  if (hex) return [0, 2, 4].map((at) => parseInt(colour.slice(at, at + 2), 16));
  return colour.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number);
}
function luminance(rgb) {
  const [r, g, b] = rgb.map((value) => {
    const c = value / 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}
function contrast(a, b) {
  const [lighter, darker] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (lighter + 0.05) / (darker + 0.05);
}
function hueOf([r, g, b]) {
  return (Math.atan2(Math.sqrt(3) * (g - b), 2 * r - g - b) * 180 / Math.PI + 360) % 360;
}
const isGrey = (rgb) => Math.max(...rgb) - Math.min(...rgb) < 24;

// The prefixes' colours as the page shows them in a theme, with the
// background, for the rows on screen (the highlighted row aside).
async function coloursShown(page, theme) {
  await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: theme }]);
  await page.evaluate(() => new Promise((resolve) => window.requestAnimationFrame(() => window.requestAnimationFrame(resolve))));
  return page.evaluate(() => ({
    background: getComputedStyle(document.body).backgroundColor,
    texts: [...document.querySelectorAll("#document-rows .row:not(.current) [data-colour]")]
      .map((node) => ({ prefix: node.dataset.colour, shown: getComputedStyle(node).color })),
  }));
}

// Every colour of the report, shown on the light and on the dark theme, reads
// on its background (4.5:1) and keeps the hue of its prefix: the page is shown
// at the first line of each colour in turn.
async function checkColours(page, data) {
  const firstLines = new Map();
  data.lines.forEach(([kind, colour], line) => {
    if (colour && kind === "t" && !firstLines.has(colour)) firstLines.set(colour, line);
  });
  const checked = new Set();
  for (const line of firstLines.values()) {
    await support.search(page, data.lines[line][2]);
    await page.click(`#hits .hit[data-line="${line}"]`);
    await page.waitForSelector(`#document-rows .row.current[data-line="${line}"]`);
    for (const theme of ["dark", "light"]) {
      const { background, texts } = await coloursShown(page, theme);
      for (const { prefix, shown } of texts) {
        checked.add(prefix);
        const ratio = contrast(rgbOf(shown), rgbOf(background));
        assert.ok(ratio >= 4.5, `${theme}: ${prefix} shown as ${shown} on ${background}: contrast ${ratio.toFixed(2)}`);
        if (isGrey(rgbOf(prefix))) continue;
        const turn = Math.abs(hueOf(rgbOf(prefix)) - hueOf(rgbOf(shown)));
        assert.ok(Math.min(turn, 360 - turn) < 8, `${theme}: ${prefix} shown as ${shown} keeps its hue`);
      }
    }
  }
  for (const colour of firstLines.keys()) assert.ok(checked.has(colour), `${colour} checked`);
}

for (const name of examples) {
  test(`${name}: outline, regions, search, charts`, async (t) => {
    const { page, problems } = await open(name);
    t.diagnostic(`${name}: outline shown ${(await support.outlineShownMs(page)).toFixed(0)} ms after the page was opened`);
    const data = await pageData(page);
    assert.equal(await page.$eval("#ended-early", (banner) => banner.hidden), !data.report.endedEarly);
    await checkOutline(page, data);
    await checkOpenAndClose(page, iterationBlocks(data.report)[0]);
    await checkCharts(page, data);
    await checkVariableSearch(t, page, data);
    await checkColours(page, data);
    await support.screenshot(page, name, name === "blending" ? "tarnview-page.png" : undefined);
    assert.deepEqual(problems, []);
    await page.close();
  });
}

test("report text with markup in it shows as text and runs nothing", async () => {
  const { page, problems } = await open("hostile");
  const description = await page.$$eval("#document-rows .row", (rows, wanted) =>
    rows.filter((row) => row.textContent.includes(wanted)).length, hostileDescription);
  assert.equal(description, 1, "the case description as text");

  await support.search(page, hostileName);
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => node.textContent));
  assert.ok(hits.length >= 5 && hits.every((hit) => hit.includes(hostileName)), "the name found and shown as text");
  await page.click("#hits .hit:last-of-type");
  await page.waitForSelector("#document-rows .row.current");
  assert.equal(await page.$$eval("img, #document-rows script, #hits script", (nodes) => nodes.length), 0, "no element made from the text");
  await support.screenshot(page, "hostile");
  assert.deepEqual(problems, []);
  await page.close();
});

test("a report that ended early says so and shows what it has", async () => {
  const { page, problems } = await open("truncated");
  const data = await pageData(page);
  assert.equal(data.report.endedEarly, true);
  const banner = await page.$eval("#ended-early", (node) => ({ hidden: node.hidden, text: node.textContent }));
  assert.equal(banner.hidden, false);
  assert.match(banner.text, /ended early/);
  await checkOutline(page, data);
  assert.deepEqual(data.report.strayEnds, [0]);
  assert.match(await page.$eval("#stray-ends", (node) => node.textContent), /1 #endregion line has no region to close/);
  assert.equal(await page.$eval('#document-rows .row[data-line="0"]', (row) => row.className), "row stray");
  await support.screenshot(page, "truncated");
  assert.deepEqual(problems, []);
  await page.close();
});

test("regions nested deeper than the script's call stack", async () => {
  const { page, problems } = await open("deep");
  const drawn = await support.outlineItems(page);
  assert.ok(drawn.length > 20 && drawn.length < 200, `${drawn.length} items in the page: those near the screen`);
  await page.focus("#region-0");
  await page.keyboard.press("End");
  const last = await page.waitForSelector("#region-19999:focus");
  assert.equal(await last.evaluate((item) => item.getAttribute("aria-level")), "20000");
  await page.keyboard.press("Home");
  await page.waitForSelector("#region-0:focus");
  assert.equal(await page.$eval("#failure", (node) => node.hidden), true);
  await page.waitForSelector('#document-rows .row[data-line="20"]');
  assert.deepEqual(problems, []);
  await page.close();
});
