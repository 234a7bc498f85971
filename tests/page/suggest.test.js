// Names suggested as they are typed in a page of tarnview html: ranked
// as the server ranks them (the name, the names it begins, those where it
// begins a part, those that hold it; shorter first, then in byte order),
// case ignored, the names a few edits away when none holds it.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const { suggestNames } = loadParts().use("search");

const names = ["QSUL_POOL", "QSUL_POOL1_T1", "QSUL_POOL3_T20", "POOL_QUAL", "F_C1_POOL", "XPOOLX", "pool", "Pool2", "TANK_LEVEL"];

test("prefix, part, substring and case, ranked; a misspelling gets the nearest names", () => {
  const cases = [
    ["pool", [["pool", "whole"], ["Pool2", "prefix"], ["POOL_QUAL", "prefix"], ["F_C1_POOL", "wordStart"],
      ["QSUL_POOL", "wordStart"], ["QSUL_POOL1_T1", "wordStart"], ["QSUL_POOL3_T20", "wordStart"], ["XPOOLX", "inside"]]],
    ["qsul_pool", [["QSUL_POOL", "whole"], ["QSUL_POOL1_T1", "prefix"], ["QSUL_POOL3_T20", "prefix"]]],
    ["T2", [["QSUL_POOL3_T20", "wordStart"]]],
    ["tank_levle", [["TANK_LEVEL", "close"]]],
    ["QSUL_POLL", [["QSUL_POOL", "close"]]],
    ["zzzzzz", []],
    ["", []],
    ["a\nb", []],
  ];
  for (const [typed, expected] of cases) {
    assert.deepEqual(suggestNames(names, typed, 20).map(({ name, match }) => [name, match]), expected, typed);
  }
  assert.deepEqual(suggestNames(names, "pool", 2).map(({ name }) => name), ["pool", "Pool2"], "the best `count`");
});
