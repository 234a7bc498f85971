// What the browser tests share: where the build is, running its programs,
// and Chromium (Debian's, through puppeteer-core) with a page's problems
// collected.
"use strict";

const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { pathToFileURL } = require("node:url");
const puppeteer = require("puppeteer-core");

const root = path.resolve(__dirname, "..", "..");
const buildDir = path.resolve(root, process.env.TARNVIEW_BUILD_DIR || "build");
const bin = (name) => path.join(buildDir, "bin", name);
const artifactsDir = path.join(buildDir, "browser-artifacts");
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";

function freshDir(name) {
  const dir = path.join(buildDir, name);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

function run(program, args, options) {
  return execFileSync(bin(program), args, { encoding: "utf8", stdio: ["ignore", "pipe", "pipe"], ...options });
}

// The report of a run-data file: writes BASE.log from BASE.vdr.
function writeReport(base) {
  run("tarnreport", [base]);
  return `${base}.log`;
}

const hostileName = "<img src=x onerror=alert(1)>";
const hostileDescription = "<script>alert(2)</script> & \"quoted\"";

// blending.vdr with markup in a variable's name and in the case description.
function writeHostileRun(base) {
  const run = JSON.parse(fs.readFileSync(path.join(root, "examples", "blending.vdr"), "utf8"));
  run.model.variables[2].name = hostileName;
  run.case.description = hostileDescription;
  fs.writeFileSync(`${base}.vdr`, JSON.stringify(run));
}

// A report with one line of 100 MB (line 5, "L yyy... tail-word") in a region.
function writeLineOf100MB(file) {
  const out = fs.openSync(file, "w");
  fs.writeSync(out, "#region 1, Before\nshort line\n#endregion\n#region 1, The long line\nL ");
  const block = "y".repeat(1 << 20);
  for (let at = 0; at < 100; ++at) fs.writeSync(out, block);
  fs.writeSync(out, " tail-word\nafter\n#endregion\n");
  fs.closeSync(out);
}

// The ids of the regions the outline shows at first, in order: every
// region but those inside a closed one (iteration blocks inside another
// region start closed).
function regionsShownAtFirst(report) {
  const shown = [];
  const closedAt = [];
  report.regions.forEach((region, id) => {
    while (closedAt.length && closedAt.at(-1) >= region.depth) closedAt.pop();
    if (!closedAt.length) shown.push(id);
    if (region.depth > 0 && region.kind === "iteration") closedAt.push(region.depth);
  });
  return shown;
}

// The outline's items in the page: the ids of their regions, in order.
const outlineItems = (page) =>
  page.$$eval('#outline[role="tree"] [role="treeitem"]', (nodes) => nodes.map((node) => Number(node.dataset.region)));

// Clicks a part (".title", ".twisty") of the outline item of region `id`,
// scrolled into view first (only the items near the outline's screen are
// in the page, drawn anew as it scrolls).
async function clickOutlineItem(page, id, part) {
  await page.waitForSelector(`#region-${id}`);
  await page.$eval(`#region-${id}`, (item) => item.scrollIntoView({ block: "center" }));
  await page.evaluate(() => new Promise((resolve) => window.requestAnimationFrame(() => window.requestAnimationFrame(resolve))));
  await page.click(`#region-${id} > .item ${part}`);
}

// Keys scroll at once: an animated scroll still running when a test moves
// on would land after the page's own jump and undo it.
function launchBrowser() {
  return puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-smooth-scrolling"],
  });
}

// A page of its own, with every console error, uncaught exception, dialog
// (an alert from injected markup) and request outside `allowed` collected in
// `problems`.  The page is ready when the performance mark `ready` is
// made: "outline-shown" for a report, "run-shown" for a run followed,
// "runs-shown" for the table of runs.
async function openPage(browser, url, allowed, ready = "outline-shown") {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  page.setDefaultTimeout(15000);
  const problems = [];
  page.on("console", (message) => {
    if (message.type() === "error") problems.push(`console error: ${message.text()}`);
  });
  page.on("pageerror", (error) => problems.push(`uncaught: ${error.message}`));
  page.on("dialog", async (dialog) => {
    problems.push(`dialog: ${dialog.message()}`);
    await dialog.dismiss();
  });
  page.on("request", (request) => {
    if (!allowed(request.url())) problems.push(`request: ${request.url()}`);
  });
  await page.goto(url, { waitUntil: "load" });
  await page.waitForFunction((mark) => performance.getEntriesByName(mark).length > 0, { timeout: 60000 }, ready);
  return { page, problems };
}

// Milliseconds from the start of the page's navigation to the outline on screen.
function outlineShownMs(page) {
  return page.evaluate(() => performance.getEntriesByName("outline-shown")[0].startTime);
}

// Types a query, waits for its first page of hits and returns the time the
// page took for it.
async function search(page, query) {
  await page.evaluate(() => performance.clearMeasures("search"));
  await page.click("#search", { count: 3 });
  await page.keyboard.press("Backspace");
  await page.type("#search", query);
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => performance.getEntriesByName("search").length > 0, { timeout: 60000 });
  return page.evaluate(() => performance.getEntriesByName("search").at(-1).duration);
}

// A screenshot of the page in build/browser-artifacts/, and with
// TARNVIEW_DOCS_DIR set, the pictures named for the documentation there too.
async function screenshot(page, name, docsName) {
  fs.mkdirSync(artifactsDir, { recursive: true });
  const file = path.join(artifactsDir, `${name}.png`);
  await page.screenshot({ path: file });
  if (docsName && process.env.TARNVIEW_DOCS_DIR) fs.copyFileSync(file, path.join(process.env.TARNVIEW_DOCS_DIR, docsName));
  return file;
}

// Starts tarnview serve on the reports (runs, folders) and waits for the
// address it prints.
async function startServer(reports) {
  const child = spawn(bin("tarnview"), ["serve", ...reports], { stdio: ["ignore", "pipe", "pipe"] });
  let output = "";
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`tarnview serve printed no address:\n${output}`)), 120000);
    const read = (chunk) => {
      output += chunk;
      const found = /http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+(#runs|#run=\d+)?/.exec(output);
      if (found) {
        clearTimeout(timer);
        resolve(found[0]);
      }
    };
    child.stdout.on("data", read);
    child.stderr.on("data", read);
    child.on("exit", (code) => {
      clearTimeout(timer);
      reject(new Error(`tarnview serve ended with ${code}:\n${output}`));
    });
  });
  const address = new URL(url);
  return { child, url, origin: address.origin, token: address.searchParams.get("token") };
}

function stopServer(server) {
  if (!server || server.child.exitCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    server.child.once("exit", resolve);
    server.child.kill("SIGTERM");
  });
}

// The optimiser stand-in (tests/viewer/progress_standin.py) writing BASE
// through the Python writer, driven line by line: send("next"), then
// heard("iteration K") resolves (with the time it was heard) once the
// stand-in says so.
function startStandIn(base) {
  const child = spawn("python3", [path.join(root, "tests", "viewer", "progress_standin.py"), base, "--build", buildDir],
    { stdio: ["pipe", "pipe", "pipe"] });
  const said = [];
  const waiting = [];
  let rest = "";
  let errors = "";
  const settle = () => {
    for (const wait of [...waiting]) {
      const found = said.find((entry) => entry.line === wait.line);
      if (found || child.exitCode !== null || child.signalCode !== null) {
        waiting.splice(waiting.indexOf(wait), 1);
        clearTimeout(wait.timer);
        if (found) wait.resolve(found.at);
        else wait.reject(new Error(`the stand-in ended without saying ${wait.line}: ${errors}`));
      }
    }
  };
  child.stdout.setEncoding("utf8");
  child.stdout.on("data", (chunk) => {
    const lines = (rest + chunk).split("\n");
    rest = lines.pop();
    const at = performance.now();
    for (const line of lines) said.push({ line, at });
    settle();
  });
  child.stderr.on("data", (chunk) => { errors += chunk; });
  child.on("exit", settle);
  const heard = (line) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the stand-in did not say ${line} in 60 s: ${errors}`)), 60000);
    waiting.push({ line, resolve, reject, timer });
    settle();
  });
  const send = (command) => child.stdin.write(`${command}\n`);
  const killed = () => new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) resolve();
    else {
      child.once("exit", resolve);
      child.kill("SIGKILL");
    }
  });
  return { child, heard, send, killed, base };
}

// The address of the page at a place of the runs, unless the server's
// address names one already.
const atPlace = (url, hash) => (url.includes("#") ? url : `${url}${hash}`);

module.exports = {
  startStandIn, atPlace,
  root, buildDir, bin, artifactsDir, freshDir, run, writeReport, hostileName, hostileDescription, writeHostileRun,
  writeLineOf100MB, regionsShownAtFirst, outlineItems, clickOutlineItem,
  launchBrowser, openPage, outlineShownMs, search, startServer, stopServer,
  screenshot, pathToFileURL,
};
