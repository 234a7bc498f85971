// What tarnview html refuses, writing nothing: a report too big for one page
// (pointing to tarnview serve), and a page that would replace its report.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const support = require("./support");

test("a report above 50 MB is refused with a pointer to tarnview serve", () => {
  const dir = support.freshDir("html-command");
  const report = path.join(dir, "huge.log");
  fs.writeFileSync(report, "");
  fs.truncateSync(report, 50_000_001);
  const page = path.join(dir, "huge.html");
  const result = spawnSync(support.bin("tarnview"), ["html", report, "-o", page], { encoding: "utf8" });
  assert.equal(result.status, 1);
  assert.match(result.stderr, /huge\.log: the report has 50\.0 MB.*\n.*tarnview serve/);
  assert.equal(fs.existsSync(page), false);
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
