// The page's parts joined as the build joins them (the order of
// viewer/page/parts.txt), for node's test runner: the registry they define
// themselves on.
"use strict";

const fs = require("node:fs");
const path = require("node:path");

const pageDir = path.join(__dirname, "..", "..", "viewer", "page");

function partNames() {
  return fs.readFileSync(path.join(pageDir, "parts.txt"), "utf8").split("\n")
    .map((line) => line.trim()).filter((line) => line && !line.startsWith("#"));
}

function loadParts() {
  const joined = partNames().map((name) => fs.readFileSync(path.join(pageDir, "parts", name), "utf8")).join("\n");
  return new Function(`${joined}\nreturn tarnview;`)();
}

// A report's outline from nested [title, kind, [children...], linesInside]
// specs: each region's start line, its lines, its children, its end line.
function reportOf(specs, extraLines = 0) {
  const regions = [];
  let line = 0;
  const place = (spec, parent, depth) => {
    const [title, kind, children = [], inside = 1] = spec;
    const id = regions.length;
    const region = { title, kind, level: 1, colour: null, line: line++, end: -1, parent, depth, children: [], lineCount: 0 };
    regions.push(region);
    line += inside;
    for (const child of children) region.children.push(place(child, id, depth + 1));
    region.end = line++;
    region.lineCount = region.end - region.line - 1;
    return id;
  };
  for (const spec of specs) place(spec, -1, 0);
  return { file: "test.log", lineCount: line + extraLines, regions, summary: null };
}

module.exports = { loadParts, partNames, reportOf, pageDir };
