// tarnview html refuses a report too big for one page and points to
// tarnview serve, writing nothing.
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
