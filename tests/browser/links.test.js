// Every name a link on every example: in the algebraic model display, the
// diagnosis, the largest-value lists and the summary, each name of the
// run's model where it stands as a word in a line is a link in the page;
// iteration numbers of the summary go to their block.  Served: each run's
// facts line against the report's own summary, and an iteration's diff.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

const examples = ["blending", "refinery_infeasible", "refinery_unbounded"];
const regionsWithNames = (title) => title === "Algebraic Model Display" || title === "Infeasibility Diagnosis" ||
  title.startsWith("Largest ") || title === "Iteration Summary";
let browser;
let server;
let dir;

before(async () => {
  dir = support.freshDir("browser-links");
  for (const name of examples) {
    fs.copyFileSync(path.join(support.root, "examples", `${name}.vdr`), path.join(dir, `${name}.vdr`));
    support.writeReport(path.join(dir, name));
    support.run("tarnview", ["html", path.join(dir, `${name}.log`)]);
  }
  server = await support.startServer(examples.map((name) => path.join(dir, `${name}.log`)));
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  await support.stopServer(server);
});

const fileOnly = (url) => url.startsWith("file:") || url.startsWith("data:") || url.startsWith("blob:");

// The model's names (from the run data, not from the report) and where each
// stands as a word in `text`: [{name, at}].
function modelNames(name) {
  const run = JSON.parse(fs.readFileSync(path.join(dir, `${name}.vdr`), "utf8"));
  return [...run.model.variables, ...run.model.equations].map((entry) => entry.name);
}
function wordsIn(text, names) {
  const found = [];
  for (const name of names) {
    for (let at = text.indexOf(name); at >= 0; at = text.indexOf(name, at + 1)) {
      const before = text[at - 1];
      const after = text[at + name.length];
      if (!/[A-Za-z0-9_]/.test(before || " ") && !/[A-Za-z0-9_]/.test(after || " ")) found.push({ name, at });
    }
  }
  return found;
}

// The drawn rows of lines [from, to): their text and their links.
const rowsOf = (page, from, to) => page.evaluate((first, last) =>
  [...document.querySelectorAll("#document-rows .row:not(.pending)")]
    .filter((row) => Number(row.dataset.line) >= first && Number(row.dataset.line) < last && !row.dataset.region)
    .map((row) => {
      const parts = [...row.children].slice(2);   // after the line number and the lead
      let offset = 0;
      const links = [];
      for (const part of parts) {
        if (part.dataset.name) links.push({ name: part.dataset.name, at: offset, text: part.textContent });
        if (part.dataset.iteration) links.push({ iteration: Number(part.dataset.iteration), at: offset, text: part.textContent });
        offset += part.textContent.length;
      }
      return { line: Number(row.dataset.line), text: parts.map((part) => part.textContent).join(""), links };
    }), from, to);

async function goToLine(page, line) {
  await page.keyboard.press("g");
  await page.keyboard.type(String(line + 1));
  await page.keyboard.press("Enter");
  await page.waitForSelector(`#document-rows .row.current[data-line="${line}"]`);
  await page.waitForFunction(() => !document.querySelector("#document-rows .row.pending"));
}

for (const name of examples) {
  test(`${name}: every name of the model display, the diagnosis, the largest-value lists and the summary a link`, async () => {
    const { page, problems } = await support.openPage(browser, support.pathToFileURL(path.join(dir, `${name}.html`)).href, fileOnly);
    const report = await page.evaluate(async () => {
      const { embeddedData } = tarnview.use("source");
      return (await embeddedData(document.getElementById("report-data").textContent)).report;
    });
    const names = modelNames(name);
    let checked = 0;
    for (const region of report.regions.filter((each) => regionsWithNames(each.title))) {
      for (let line = region.line + 1; line < region.end; line += 30) {
        await goToLine(page, line);
        for (const row of await rowsOf(page, line, Math.min(line + 30, region.end))) {
          for (const word of wordsIn(row.text, names)) {
            const link = row.links.find((each) => each.at === word.at && each.text === word.name);
            assert.ok(link && link.name === word.name, `line ${row.line + 1} (${region.title}): ${word.name} is no link in “${row.text}”`);
            ++checked;
          }
        }
      }
    }
    assert.ok(checked > 20, `${checked} names checked`);
    // A page without histories: a name clicked lists its lines.
    const clicked = await page.$eval("#document-rows .row [data-name]", (link) => {
      link.click();
      return link.dataset.name;
    });
    await page.waitForFunction((wanted) => document.getElementById("search-status").textContent.endsWith(`for \u201c${wanted}\u201d`),
      {}, clicked);
    // An iteration number of the summary goes to its block.
    const summary = report.regions.find((region) => region.kind === "summary");
    await goToLine(page, summary.line + 1);
    const link = await page.waitForSelector("#document-rows .row [data-iteration='1']");
    await link.click();
    const block = report.iterations.find((entry) => entry.iteration === 1);
    await page.waitForSelector(`#document-rows .row.current[data-line="${report.regions[block.region].line}"]`);
    assert.deepEqual(problems, []);
    await page.close();
  });
}

test("served: each run's facts at the top and in compare, from the report's own summary; an iteration's diff", async () => {
  const { page, problems } = await support.openPage(browser, server.url, (url) => url.startsWith(`${server.origin}/`));
  await page.setViewport({ width: 1400, height: 900 });
  const outline = await page.evaluate(() => tarnview.use("source").servedSource(
    new URLSearchParams(window.location.search).get("token"), 0).outline());
  const { columns, rows } = outline.summary;
  const last = rows.at(-1);
  const objective = last[columns.indexOf("Objective Function Value")];
  await page.waitForSelector("#facts:not([hidden])");
  const facts = await page.$eval("#facts", (node) => node.textContent);
  assert.ok(facts.includes(`objective ${String(Number(objective.toPrecision(12)))}`), facts);
  assert.ok(facts.includes(`${rows.length - 1} major iterations`), facts);

  await page.keyboard.press("g");
  await page.keyboard.type("i 0");
  await page.keyboard.press("Enter");
  await page.keyboard.press("d");
  await page.waitForFunction(() => document.getElementById("diff-status").textContent === "From iteration 0 to 1.");
  const changed = await page.$$eval("#diff-tables table:first-child tbody tr", (trs) => trs.length);
  assert.ok(changed > 0, "values changed from iteration 0 to 1");
  await support.screenshot(page, "links-facts-diff", "tarnview-serve.png");

  await page.click("#show-compare");
  await page.waitForFunction(() => document.querySelectorAll("#compare-facts tr").length === 3);
  const lines = await page.$$eval("#compare-facts tr", (trs) => trs.map((tr) => tr.textContent));
  assert.ok(lines[0].startsWith("blending.log") && lines[0].includes(`objective ${String(Number(objective.toPrecision(12)))}`), lines[0]);
  assert.deepEqual(problems, []);
  await page.close();
});
