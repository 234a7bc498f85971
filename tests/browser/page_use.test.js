// The page of `tarnview html` used for a day's work, at 1400x900 and
// 1024x768: the room the report gets, the keys, the theme switch, Back and
// Forward; regions nested 20,000 deep and a line of 100 MB, opened,
// searched and jumped within.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

let browser;
let dir;
const sizes = [[1400, 900], [1024, 768]];

// Iteration blocks nested 20,000 deep (closed at first, as every iteration
// block inside another region is), a line "hit K" in every 40th.
function writeNestedIterations(file) {
  const depth = 20000;
  const out = fs.openSync(file, "w");
  for (let at = 0; at < depth; ++at) {
    fs.writeSync(out, `#region 0, ===== Major Iteration ${at} =====\n${at % 40 === 0 ? `hit ${at}\n` : ""}`);
  }
  fs.writeSync(out, "#endregion\n".repeat(depth));
  fs.closeSync(out);
}

before(async () => {
  dir = support.freshDir("browser-use");
  for (const name of ["refinery_infeasible", "blending"]) {
    fs.copyFileSync(path.join(support.root, "examples", `${name}.vdr`), path.join(dir, `${name}.vdr`));
    support.writeReport(path.join(dir, name));
  }
  writeNestedIterations(path.join(dir, "nested.log"));
  support.writeLineOf100MB(path.join(dir, "long-line.log"));
  for (const name of ["refinery_infeasible", "blending", "nested", "long-line"]) {
    support.run("tarnview", ["html", path.join(dir, `${name}.log`)]);
  }
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
});

const fileOnly = (url) => url.startsWith("file:") || url.startsWith("data:") || url.startsWith("blob:");

async function open(name, [width, height] = sizes[0]) {
  const opened = await support.openPage(browser, support.pathToFileURL(path.join(dir, `${name}.html`)).href, fileOnly);
  await opened.page.setViewport({ width, height });
  return opened;
}

// The report's rows wholly inside the text's box.
const rowsInView = (page) => page.evaluate(() => {
  const box = document.getElementById("document").getBoundingClientRect();
  return [...document.querySelectorAll("#document-rows .row")].filter((row) => {
    const at = row.getBoundingClientRect();
    return at.top >= box.top && at.bottom <= box.bottom;
  }).length;
});
const waitCurrent = (page, line) => page.waitForSelector(`#document-rows .row.current[data-line="${line}"]`);

for (const size of sizes) {
  test(`${size.join("x")}: charts fold away and stay folded; 40 lines and more of the report; line numbers of 9 digits fit`, async () => {
    const { page, problems } = await open("refinery_infeasible", size);
    assert.equal(await page.$eval("#charts", (node) => node.hidden), false, "the charts shown at first");
    await page.click("#toggle-charts");
    await page.waitForFunction(() => document.getElementById("charts").hidden);
    await page.evaluate(() => new Promise((resolve) => window.requestAnimationFrame(resolve)));
    const shown = await rowsInView(page);
    assert.ok(shown >= 40, `${shown} lines of the report in view`);
    await page.reload({ waitUntil: "load" });
    await page.waitForFunction(() => performance.getEntriesByName("outline-shown").length > 0);
    assert.equal(await page.$eval("#charts", (node) => node.hidden), true, "still folded after a reload");
    // A number of 9 digits in the width the page gives line numbers of a report that long.
    const fits = await page.evaluate(() => {
      const box = document.getElementById("document");
      box.style.setProperty("--number-width", "10ch");
      const number = document.querySelector("#document-rows .row .number");
      number.textContent = "123456789";
      return number.scrollWidth <= number.clientWidth;
    });
    assert.ok(fits, "nine digits fit before the fold arrows");
    await page.click("#toggle-charts");
    await page.waitForFunction(() => !document.getElementById("charts").hidden);
    await support.screenshot(page, `use-${size.join("x")}`);
    assert.deepEqual(problems, []);
    await page.close();
  });
}

test("keys: / searches, n and N step through the hits, ] and [ through the iteration blocks, g goes to a line or an iteration, ? lists them", async () => {
  const { page, problems } = await open("blending");
  const report = await page.evaluate(async () => {
    const { embeddedData } = tarnview.use("source");
    return (await embeddedData(document.getElementById("report-data").textContent)).report;
  });
  const blocks = report.regions.filter((region) => region.kind === "iteration").map((region) => region.line);

  await page.focus("#document");
  await page.keyboard.press("/");
  assert.equal(await page.evaluate(() => document.activeElement.id), "search");
  await page.keyboard.type("QSUL_POOL");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => performance.getEntriesByName("search").length > 0);
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => Number(node.dataset.line)));
  assert.ok(hits.length > 3);
  await page.keyboard.press("Escape");
  for (const line of hits.slice(0, 3)) {
    await page.keyboard.press("n");
    await waitCurrent(page, line);
  }
  await page.keyboard.press("N");
  await waitCurrent(page, hits[1]);

  await page.keyboard.press("g");
  await page.keyboard.type("1");
  await page.keyboard.press("Enter");
  await waitCurrent(page, 0);
  for (const line of blocks) {
    await page.keyboard.press("]");
    await waitCurrent(page, line);
  }
  await page.keyboard.press("[");
  await waitCurrent(page, blocks.at(-2));
  await page.keyboard.press("g");
  await page.keyboard.type("i 1");
  await page.keyboard.press("Enter");
  const iteration = report.iterations.find((entry) => entry.iteration === 1);
  await waitCurrent(page, report.regions[iteration.region].line);
  await page.keyboard.press("g");
  await page.keyboard.type("i 99");
  await page.keyboard.press("Enter");
  assert.match(await page.$eval("#go-to-error", (node) => node.textContent), /no iteration 99/);
  await page.keyboard.press("Escape");

  await page.waitForFunction(() => !document.getElementById("go-to").open);
  await page.keyboard.press("?");
  await page.waitForFunction(() => document.getElementById("keys-help").open);
  const listed = await page.$eval("#keys-help", (dialog) => dialog.textContent);
  for (const key of ["/", "n", "N", "[", "]", "g", "?"]) assert.ok(listed.includes(key), `${key} listed`);
  await page.keyboard.press("Escape");
  assert.equal(await page.$eval("#keys-help", (dialog) => dialog.open), false);
  assert.deepEqual(problems, []);
  await page.close();
});

test("the theme switch: light or dark whatever the system prefers, remembered", async () => {
  const { page, problems } = await open("blending");
  const background = () => page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
  const light = await background();
  await page.select("#theme-select", "dark");
  const dark = await background();
  assert.notEqual(dark, light);
  await page.reload({ waitUntil: "load" });
  await page.waitForFunction(() => performance.getEntriesByName("outline-shown").length > 0);
  assert.equal(await background(), dark, "dark again after a reload");
  await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "dark" }]);
  await page.select("#theme-select", "light");
  assert.equal(await background(), light);
  await page.select("#theme-select", "system");
  assert.equal(await background(), dark, "the system's again");
  assert.deepEqual(problems, []);
  await page.close();
});

test("Back and Forward return to where the reader was", async () => {
  const { page, problems } = await open("blending");
  await support.search(page, "QSUL_POOL");
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => Number(node.dataset.line)));
  await page.click(`#hits .hit[data-line="${hits[0]}"]`);
  await waitCurrent(page, hits[0]);
  await page.click(`#hits .hit[data-line="${hits.at(-1)}"]`);
  await waitCurrent(page, hits.at(-1));
  await page.goBack();
  await waitCurrent(page, hits[0]);
  await page.goForward();
  await waitCurrent(page, hits.at(-1));
  assert.deepEqual(problems, []);
  await page.close();
});

test("iteration blocks nested 20,000 deep: 500 hits listed, the deepest opened and shown", async () => {
  const { page, problems } = await open("nested");
  await support.search(page, "hit ");
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => Number(node.dataset.line)));
  assert.equal(hits.length, 500);
  const title = await page.$eval("#hits .hit-group:last-of-type h3", (node) => node.textContent);
  assert.equal(title, "\u2026 \u203a Major Iteration 19958 \u203a Major Iteration 19959 \u203a Major Iteration 19960");
  await page.click(`#hits .hit[data-line="${hits.at(-1)}"]`);
  const row = await waitCurrent(page, hits.at(-1));
  assert.equal(await row.evaluate((node) => node.textContent.endsWith("hit 19960")), true);
  assert.equal(await page.$eval("#region-19960", (item) => item.getAttribute("aria-expanded")), "true");
  await page.keyboard.press("N");
  await waitCurrent(page, hits.at(-2));
  assert.deepEqual(problems, []);
  await page.close();
});

test("a line of 100 MB: shown cut short, found, jumped to, more of it shown", async () => {
  const { page, problems } = await open("long-line");
  await support.search(page, "tail-word");
  const hits = await page.$$eval("#hits .hit", (nodes) => nodes.map((node) => Number(node.dataset.line)));
  assert.deepEqual(hits, [4]);
  await page.click('#hits .hit[data-line="4"]');
  const row = await waitCurrent(page, 4);
  const shown = await row.evaluate((node) => node.textContent);
  assert.ok(shown.length < 20000, `${shown.length} characters in the page`);
  assert.match(shown, /^5L y+\u2026 104,847,\d{3} more characters: show more$/);
  await page.click('#document-rows .row[data-line="4"] button.more');
  await page.waitForFunction(() => document.querySelector('#document-rows .row[data-line="4"]').textContent.length > 100000);
  await page.waitForSelector('#document-rows .row[data-line="5"]:not(.pending)');
  assert.deepEqual(problems, []);
  await page.close();
});

test("1366x768: focus follows every jump, a click into the report folds nothing, the terminal's page keys, ? lists them", async () => {
  const { page, problems } = await open("refinery_infeasible", [1366, 768]);
  const report = await page.evaluate(async () => {
    const { embeddedData } = tarnview.use("source");
    return (await embeddedData(document.getElementById("report-data").textContent)).report;
  });
  const focused = () => page.evaluate(() => document.activeElement.id);
  const scrolled = () => page.$eval("#document", (box) => box.scrollTop);
  const openState = (id) => page.evaluate((region) => document.querySelector(`#region-${region}`)?.getAttribute("aria-expanded"), id);

  // A hit clicked, then a go-to: the keys scroll the report at once.
  await support.search(page, "Iteration");
  const hit = await page.$eval("#hits .hit", (node) => Number(node.dataset.line));
  await page.click(`#hits .hit[data-line="${hit}"]`);
  await waitCurrent(page, hit);
  assert.equal(await focused(), "document");
  let before = await scrolled();
  await page.keyboard.press("PageDown");
  await page.waitForFunction((top) => document.getElementById("document").scrollTop > top, {}, before);
  await page.keyboard.press("g");
  await page.keyboard.type("1");
  await page.keyboard.press("Enter");
  await waitCurrent(page, 0);
  assert.equal(await focused(), "document");
  before = await scrolled();
  await page.keyboard.press("PageDown");
  await page.waitForFunction((top) => document.getElementById("document").scrollTop > top, {}, before);

  // s and D go to the summary and the diagnosis, as in the terminal.
  const summary = report.regions.find((region) => region.kind === "summary");
  await page.keyboard.press("s");
  await waitCurrent(page, summary.line);
  const diagnosis = report.regions.findIndex((region) => region.title === "Infeasibility Diagnosis");
  assert.ok(diagnosis >= 0, "the infeasible example has a diagnosis");
  await page.keyboard.press("D");
  await waitCurrent(page, report.regions[diagnosis].line);

  // z folds the region at the current line and unfolds it; C folds all, O unfolds all.
  await page.keyboard.press("z");
  await page.waitForFunction((id) => document.getElementById(`region-${id}`).getAttribute("aria-expanded") === "false", {}, diagnosis);
  await page.keyboard.press("z");
  await page.waitForFunction((id) => document.getElementById(`region-${id}`).getAttribute("aria-expanded") === "true", {}, diagnosis);
  await page.keyboard.press("C");
  await page.waitForFunction(() => [...document.querySelectorAll("#outline [role=treeitem]")].every((item) => item.getAttribute("aria-expanded") === "false"));
  await page.keyboard.press("O");
  await page.waitForFunction(() => [...document.querySelectorAll("#outline [role=treeitem]")].every((item) => item.getAttribute("aria-expanded") === "true"));

  // With the focus in the search box, a click on a region's title only puts the keys in the report.
  await page.focus("#search");
  const title = `#document-rows .row.start[data-region="${diagnosis}"] .text`;
  await page.waitForSelector(title);
  await page.click(title);
  assert.equal(await focused(), "document");
  assert.equal(await openState(diagnosis), "true", "not folded by the click that focused the report");
  await page.click(title);
  await page.waitForFunction((id) => document.getElementById(`region-${id}`).getAttribute("aria-expanded") === "false", {}, diagnosis);

  await page.keyboard.press("?");
  await page.waitForFunction(() => document.getElementById("keys-help").open);
  const listed = await page.$$eval("#keys-help kbd", (nodes) => nodes.map((node) => node.textContent));
  for (const key of ["/", "n", "N", "[", "]", "g", ":", "i", "z", "o", "c", "O", "C", "H", "s", "D", "?"]) {
    assert.ok(listed.includes(key), `${key} listed`);
  }
  await page.keyboard.press("Escape");
  assert.deepEqual(problems, []);
  await page.close();
});

test("the search box suggests the names that hold what is typed; one chosen is searched for", async () => {
  const { page, problems } = await open("blending");
  await page.click("#search");
  await page.keyboard.type("pool");
  await page.waitForSelector("#suggestions:not([hidden]) li");
  const names = await page.$$eval("#suggestions li", (items) => items.map((item) => item.dataset.name));
  assert.ok(names.includes("QSUL_POOL") && names.every((name) => name.toLowerCase().includes("pool")), names.join(" "));
  await page.keyboard.press("ArrowDown");
  await page.keyboard.press("Enter");
  await page.waitForFunction((name) => document.getElementById("search").value === name &&
    document.getElementById("suggestions").hidden, {}, names[0]);
  await page.waitForFunction((name) => document.getElementById("search-status").textContent.endsWith(`for \u201c${name}\u201d`), {}, names[0]);
  assert.deepEqual(problems, []);
  await page.close();
});
