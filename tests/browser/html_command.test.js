// What tarnview html writes for a report well above what a page held whole
// (its lines compressed, the page a fraction of the report), and what it
// refuses, writing nothing: a page that would replace its report.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

test("a report above 64 MB gives one page, a fraction of its size, its lines in compressed pieces, with progress", () => {
  const dir = support.freshDir("html-command");
  const report = path.join(dir, "large.log");
  const block = fs.readFileSync(path.join(support.root, "tests", "report", "golden", "blending.log"));
  const copies = Math.ceil(70e6 / block.length);
  const out = fs.openSync(report, "w");
  for (let copy = 0; copy < copies; ++copy) fs.writeSync(out, block);
  fs.closeSync(out);
  const page = path.join(dir, "large.html");
  const result = spawnSync(support.bin("tarnview"), ["html", report, "-o", page], { encoding: "utf8" });
  assert.equal(result.status, 0, result.stderr);
  assert.match(result.stderr, /^tarnview html: .*large\.log: 10% of the lines written\n(.*\n)*.*: 100% of the lines written\n$/);
  const reportBytes = fs.statSync(report).size;
  const pageBytes = fs.statSync(page).size;
  assert.ok(pageBytes < reportBytes / 3, `a page of ${pageBytes} bytes for a report of ${reportBytes}`);
  const html = fs.readFileSync(page, "latin1");
  const pieces = html.match(/<script type="application\/gzip" class="report-piece">/g).length;
  assert.ok(pieces > 50, `${pieces} pieces`);
  assert.equal(fs.existsSync(`${page}.part`), false);
});

test("the page never takes the report's place", () => {
  const dir = support.freshDir("html-command-same");
  const report = path.join(dir, "run.html");
  fs.copyFileSync(path.join(support.root, "examples", "blending.vdr"), path.join(dir, "run.vdr"));
  fs.renameSync(support.writeReport(path.join(dir, "run")), report);
  const text = fs.readFileSync(report, "utf8");
  for (const args of [["html", report], ["html", report, "-o", report]]) {
    const result = spawnSync(support.bin("tarnview"), args, { encoding: "utf8" });
    assert.equal(result.status, 1);
    assert.match(result.stderr, /run\.html: the page would overwrite the report/);
    assert.equal(fs.readFileSync(report, "utf8"), text);
  }
});
