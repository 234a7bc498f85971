// A folder of runs served as one live table: every run and report under
// it listed, sorted by a column, filtered by text and state; a run that
// starts appears and a running one updates without a reload; a row opens
// its run's live view or its report.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

let browser;
let server;
let thousand;
let study;
const standIns = [];

async function standIn(base, iterations) {
  const started = support.startStandIn(base);
  standIns.push(started);
  await started.heard("ready");
  for (let iter = 0; iter < iterations; ++iter) {
    started.send("next");
    await started.heard(`iteration ${iter}`);
  }
  return started;
}

before(async () => {
  study = support.freshDir("browser-run-folder");
  fs.mkdirSync(path.join(study, "done"));
  fs.mkdirSync(path.join(study, "sub"));
  fs.copyFileSync(path.join(support.root, "examples", "blending.vdr"), path.join(study, "done", "blending.vdr"));
  support.writeReport(path.join(study, "done", "blending"));
  const finished = await standIn(path.join(study, "case-a"), 3);
  finished.send("close");
  await finished.heard("closed");
  await standIn(path.join(study, "sub", "case-b"), 2);
  server = await support.startServer([study]);
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  await support.stopServer(server);
  await support.stopServer(thousand);
  for (const each of standIns) await each.killed();
});

const from = (served) => (url) => url.startsWith(`${served.origin}/`);
const shownNames = (page) => page.$$eval("#runs-table tbody tr[data-id]", (rows) => rows.map((row) => row.cells[0].textContent));
const cellOf = (page, name, column) => page.evaluate((wanted, at) => {
  const row = [...document.querySelectorAll("#runs-table tbody tr[data-id]")].find((each) => each.cells[0].textContent === wanted);
  return row ? row.cells[at].textContent : null;
}, name, column);
const waitForNames = (page, names) => page.waitForFunction((wanted) =>
  JSON.stringify([...document.querySelectorAll("#runs-table tbody tr[data-id]")].map((row) => row.cells[0].textContent)) === wanted,
{ timeout: 60000 }, JSON.stringify(names));

// The running stand-in's next iteration `iter` added, and its row's major
// iterations seen to change.
async function nextIterationShown(page, running, iter) {
  const before = await cellOf(page, "sub/case-b", 2);
  running.send("next");
  await running.heard(`iteration ${iter}`);
  await page.waitForFunction((at) => {
    const row = [...document.querySelectorAll("#runs-table tbody tr[data-id]")].find((each) => each.cells[0].textContent === "sub/case-b");
    return row && row.cells[2].textContent !== at;
  }, { timeout: 60000 }, before);
}

test("the folder's runs as one table: sorted, filtered, growing and updating without a reload, each row opening its run", async () => {
  const { page, problems } = await support.openPage(browser, support.atPlace(server.url, "#runs"), from(server), "runs-shown");
  await waitForNames(page, ["case-a", "done/blending", "sub/case-b"]);
  assert.equal(await cellOf(page, "sub/case-b", 1), "running");
  assert.match(await cellOf(page, "done/blending", 1), /^ended: Successful$/);

  await page.click('#runs-table button[data-key="name"]');
  assert.deepEqual(await shownNames(page), ["sub/case-b", "done/blending", "case-a"]);
  assert.equal(await page.$eval('#runs-table th[aria-sort="descending"] button', (node) => node.dataset.key), "name");
  await page.click('#runs-table button[data-key="iterations"]');
  assert.deepEqual(await shownNames(page), ["sub/case-b", "case-a", "done/blending"], "by major iterations, fewest first");

  await page.type("#runs-filter", "SUB/");
  assert.deepEqual(await shownNames(page), ["sub/case-b"]);
  assert.equal(await page.$eval("#runs-count", (node) => node.textContent), "1 of 3 runs");
  await page.click("#runs-filter", { count: 3 });
  await page.keyboard.press("Backspace");
  await page.select("#runs-state", "running");
  assert.deepEqual(await shownNames(page), ["sub/case-b"]);
  await page.select("#runs-state", "");

  await page.evaluate(() => { window.notReloaded = true; });
  const running = standIns.at(-1);
  await nextIterationShown(page, running, 2);
  await standIn(path.join(study, "sub", "new-run"), 1);
  await page.waitForFunction(() => [...document.querySelectorAll("#runs-table tbody tr[data-id]")]
    .some((row) => row.cells[0].textContent === "sub/new-run"), { timeout: 60000 });
  assert.equal(await page.evaluate(() => window.notReloaded), true, "the page was not reloaded");
  await support.screenshot(page, "run-folder", "tarnview-runs.png");

  // Rows that update leave the headings and the state choice as they are:
  // the focus stays on a heading, an open choice stays open.
  await page.click('#runs-table button[data-key="objective"]');
  await page.evaluate(() => { window.firstState = document.querySelector("#runs-state option"); });
  await nextIterationShown(page, running, 3);
  assert.equal(await page.evaluate(() => document.activeElement.dataset.key), "objective");
  assert.equal(await page.evaluate(() => document.querySelector("#runs-state option") === window.firstState), true);

  await page.click('#runs-table a[data-run]:not([data-report])');
  await page.waitForFunction(() => document.body.dataset.view === "run" && /^#run=\d+$/.test(window.location.hash) &&
    document.querySelectorAll("#run-iterations tbody tr").length > 0, { timeout: 60000 });
  await page.goBack();
  await page.waitForFunction(() => document.body.dataset.view === "runs", { timeout: 60000 });
  const report = await page.$eval("#runs-table a[data-report]", (link) => [link.textContent, link.dataset.report]);
  await page.click("#runs-table a[data-report]");
  await page.waitForFunction((id) => document.body.dataset.view === "report" &&
    new URLSearchParams(window.location.search).get("report") === id, { timeout: 60000 }, report[1]);
  assert.equal(await page.evaluate(() => window.notReloaded), true, "the page was not reloaded");
  assert.deepEqual(problems, []);
});

test("1,000 runs: the table on screen with only the rows near the screen in the page, every row reached by scrolling", async (t) => {
  const dir = support.freshDir("browser-run-folder-1000");
  for (let at = 0; at < 1000; ++at) {
    const group = path.join(dir, `g${at % 10}`);
    fs.mkdirSync(group, { recursive: true });
    fs.writeFileSync(path.join(group, `case${at}.log`), `#region 1, Case ${at}\n Solution Status : Successful\n#endregion\n`);
  }
  thousand = await support.startServer([dir]);
  const { page, problems } = await support.openPage(browser, support.atPlace(thousand.url, "#runs"), from(thousand), "runs-shown");
  const shownAt = await page.evaluate(() => performance.getEntriesByName("runs-shown")[0].startTime);
  t.diagnostic(`1,000 runs: the table on screen ${shownAt.toFixed(0)} ms after the page was asked for`);
  assert.equal(await page.$eval("#runs-count", (node) => node.textContent), "1000 runs");
  const drawn = () => page.$$eval("#runs-table tbody tr[data-id]", (rows) => rows.map((row) => row.cells[0].textContent));
  const first = await drawn();
  assert.ok(first.length > 10 && first.length < 200, `${first.length} rows in the page`);
  assert.deepEqual(first.slice(0, 3), ["g0/case0", "g0/case10", "g0/case20"]);
  await page.$eval("#runs-table", (table) => { table.parentElement.scrollTop = table.parentElement.scrollHeight; });
  await page.waitForFunction(() => [...document.querySelectorAll("#runs-table tbody tr[data-id]")]
    .some((row) => row.cells[0].textContent === "g9/case999"), { timeout: 60000 });
  const last = await drawn();
  assert.ok(last.length < 200 && last.at(-1) === "g9/case999", `${last.length} rows, the last ${last.at(-1)}`);
  const lastRow = await page.evaluate(() => {
    const row = [...document.querySelectorAll("#runs-table tbody tr[data-id]")].at(-1);
    const box = row.closest(".table-box").getBoundingClientRect();
    const place = row.getBoundingClientRect();
    return place.bottom <= box.bottom + 1 && place.top >= box.top;
  });
  assert.ok(lastRow, "the last run is on screen at the end of the table");
  assert.deepEqual(problems, []);
});
