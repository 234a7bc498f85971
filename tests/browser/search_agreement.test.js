// The page of `tarnview html` and the page of `tarnview serve` answer the
// same queries with the same hit lines: every variable and equation name of
// each example and of a generated report, and some plain texts.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

const examples = ["blending", "refinery_infeasible", "refinery_unbounded"];
const generated = "generated";
// blending with names that are parts of other names and of the report's
// own words: a name is found as a whole name, never inside another one or
// in a status, mark or form column.
const awkward = "awkward";
const awkwardNames = { variables: { 1: "F_C1", 3: "S", 8: "Cont" }, equations: { 2: "linear", 4: "POOL" } };
const plainTexts = ["Warning", "Iteration", "Optim", "linear", "0.5", "S ", "BUY_MAYA", "*", ": ", "inf", "Conditions"];

let browser;
let dir;
let server;

function startServer(reports) {
  const child = spawn(support.bin("tarnview"), ["serve", ...reports], { stdio: ["ignore", "pipe", "pipe"] });
  let output = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`tarnview serve printed no address:\n${output}`)), 60000);
    const read = (chunk) => {
      output += chunk;
      const found = /http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/.exec(output);
      if (found) {
        clearTimeout(timer);
        resolve({ child, url: found[0], origin: new URL(found[0]).origin });
      }
    };
    child.stdout.on("data", read);
    child.stderr.on("data", read);
    child.on("exit", (code) => reject(new Error(`tarnview serve ended with ${code}:\n${output}`)));
  });
}

// The names of a run-data file's variables and equations.
function namesOf(vdr) {
  const run = JSON.parse(fs.readFileSync(vdr, "utf8"));
  return [...run.model.variables, ...run.model.equations].map((item) => item.name);
}

before(async () => {
  dir = support.freshDir("browser-search-agreement");
  for (const name of examples) fs.copyFileSync(path.join(support.root, "examples", `${name}.vdr`), path.join(dir, `${name}.vdr`));
  support.run("write_synthetic_run", [path.join(dir, `${generated}.vdr`), "--variables", "130", "--equations", "120",
    "--iterations", "4", "--seed", "3"]);
  const run = JSON.parse(fs.readFileSync(path.join(support.root, "examples", "blending.vdr"), "utf8"));
  for (const [list, renamed] of Object.entries(awkwardNames)) {
    for (const [at, name] of Object.entries(renamed)) run.model[list][at].name = name;
  }
  fs.writeFileSync(path.join(dir, `${awkward}.vdr`), JSON.stringify(run));
  const reports = [];
  for (const name of [...examples, generated, awkward]) {
    reports.push(support.writeReport(path.join(dir, name)));
    support.run("tarnview", ["html", path.join(dir, `${name}.log`), "-o", path.join(dir, `${name}.html`)]);
  }
  server = await startServer(reports);
  browser = await support.launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server && server.child.exitCode === null) server.child.kill("SIGTERM");
});

// Every hit line of a query, "More hits" followed to the end.
async function hitLines(page, query) {
  const waitForSearch = async (start) => {
    await page.evaluate(() => performance.clearMeasures("search"));
    await start();
    await page.waitForFunction(() => performance.getEntriesByName("search").length > 0, { timeout: 60000 });
  };
  await waitForSearch(() => page.$eval("#search", (box, text) => {
    box.value = text;
    box.dispatchEvent(new window.KeyboardEvent("keydown", { key: "Enter", bubbles: true }));
  }, query));
  while (!(await page.$eval("#more-hits", (button) => button.hidden))) {
    // A click in the page itself: an input event to a page in the
    // background waits for a frame that never comes.
    await waitForSearch(() => page.$eval("#more-hits", (button) => button.click()));
  }
  return page.$$eval("#hits .hit", (buttons) => buttons.map((button) => Number(button.dataset.line)));
}

test("the embedded and the served page find the same lines for every name and some texts", async (t) => {
  for (const [id, name] of [...examples, generated, awkward].entries()) {
    const embedded = await support.openPage(browser, support.pathToFileURL(path.join(dir, `${name}.html`)).href,
      (url) => url.startsWith("file:") || url.startsWith("data:"));
    const served = await support.openPage(browser, `${server.url}&report=${id}`, (url) => url.startsWith(`${server.origin}/`));
    const queries = [...new Set([...namesOf(path.join(dir, `${name}.vdr`)), ...plainTexts])];
    let withHits = 0;
    for (const query of queries) {
      const fromPage = await hitLines(embedded.page, query);
      const fromServer = await hitLines(served.page, query);
      assert.deepEqual(fromPage, fromServer, `${name}: ${JSON.stringify(query)}`);
      if (fromPage.length) ++withHits;
    }
    assert.ok(withHits > queries.length / 2, `${name}: most queries find something`);
    if (name === awkward) {
      // The step box's mark "S" and the form "linear" stand in many more rows.
      const log = fs.readFileSync(path.join(dir, `${awkward}.log`), "utf8").split("\n");
      for (const word of ["S", "linear", "Cont"]) {
        const found = await hitLines(embedded.page, word);
        const written = log.filter((text) => new RegExp(`(^| )${word}( |$)`).test(text)).length;
        assert.ok(found.length > 0 && found.length < written / 2, `${word}: ${found.length} of ${written} lines`);
      }
    }
    assert.deepEqual(embedded.problems, []);
    assert.deepEqual(served.problems, []);
    t.diagnostic(`${name}: ${queries.length} queries, the same hits in both pages`);
    await embedded.page.close();
    await served.page.close();
  }
});

test("a variable's search finds the diagnosis line that names it as an associated variable", async () => {
  const { page } = await support.openPage(browser, support.pathToFileURL(path.join(dir, "refinery_infeasible.html")).href,
    (url) => url.startsWith("file:") || url.startsWith("data:"));
  const log = fs.readFileSync(path.join(dir, "refinery_infeasible.log"), "utf8").split("\n");
  const lines = await hitLines(page, "BUY_MAYA_P1");
  const texts = lines.map((line) => log[line]);
  assert.ok(texts.some((text) => text.includes("1*BUY_MAYA_P1")), "the algebraic model");
  assert.ok(texts.some((text) => /^ {20,}BUY_MAYA_P1 /.test(text)), "the diagnosis's associated variable");
  assert.ok(!lines.some((line) => log[line].includes("BUY_MAYA_P10")), "no longer name");
  await page.close();
});

// The names the search box suggests for a text typed: [name, match].
async function suggested(page, typed) {
  await page.$eval("#search", (box, text) => {
    box.value = text;
    box.dispatchEvent(new window.Event("input", { bubbles: true }));
  }, typed);
  await page.waitForFunction((text) => document.getElementById("suggestions").dataset.typed === text, {}, typed);
  return page.$$eval("#suggestions li", (items) => items.map((item) => [item.dataset.name, item.querySelector(".match") ? "close" : "part"]));
}

// Parts of names as a user types them: prefixes, parts after a "_",
// middles, in other case, with a letter swapped or dropped.
function typedParts(names) {
  const parts = new Set(["pool", "_p", "1", "X", "qsul_pooll", "zzzz"]);
  for (const name of names.slice(0, 12)) {
    parts.add(name.slice(0, 3)).add(name.slice(0, 3).toLowerCase()).add(name.slice(1, -1));
    if (name.includes("_")) parts.add(name.slice(name.indexOf("_")));
    if (name.length > 5) parts.add(`${name.slice(0, 2)}${name[3]}${name[2]}${name.slice(4)}`).add(name.slice(0, -1) + "Q");
  }
  return [...parts].filter((part) => part.trim());
}

test("the embedded and the served page suggest the same names, in the same order, for what is typed", async (t) => {
  for (const [id, name] of [...examples, generated, awkward].entries()) {
    const embedded = await support.openPage(browser, support.pathToFileURL(path.join(dir, `${name}.html`)).href,
      (url) => url.startsWith("file:") || url.startsWith("data:"));
    const served = await support.openPage(browser, `${server.url}&report=${id}`, (url) => url.startsWith(`${server.origin}/`));
    const parts = typedParts(namesOf(path.join(dir, `${name}.vdr`)));
    let withSuggestions = 0;
    for (const typed of parts) {
      const fromPage = await suggested(embedded.page, typed);
      assert.deepEqual(fromPage, await suggested(served.page, typed), `${name}: ${JSON.stringify(typed)}`);
      if (fromPage.length) ++withSuggestions;
    }
    assert.ok(withSuggestions > parts.length / 2, `${name}: ${withSuggestions} of ${parts.length} typed parts suggest names`);
    assert.deepEqual(embedded.problems, []);
    assert.deepEqual(served.problems, []);
    t.diagnostic(`${name}: ${parts.length} texts typed, the same names suggested in both pages`);
    await embedded.page.close();
    await served.page.close();
  }
});
