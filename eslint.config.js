// ESLint for the tarnview page (browser script) and its browser tests (node).
"use strict";

const js = require("@eslint/js");

const browserGlobals = Object.fromEntries(
  ["window", "document", "performance", "fetch", "URL", "URLSearchParams", "getComputedStyle", "Chart", "Element",
    "Blob", "Response", "DecompressionStream", "atob", "TextEncoder"]
    .map((name) => [name, "readonly"]),
);
const nodeGlobals = Object.fromEntries(
  ["require", "module", "process", "__dirname", "console", "setTimeout", "clearTimeout", "URL", "performance"]
    .map((name) => [name, "readonly"]),
);
const strictness = {
  "no-unused-vars": ["error", { argsIgnorePattern: "^_" }],
  "no-var": "error",
  "prefer-const": "error",
  eqeqeq: "error",
  "no-implicit-globals": "error",
  "no-restricted-properties": ["error",
    { property: "innerHTML", message: "Report text enters the page through textContent." },
    { property: "outerHTML", message: "Report text enters the page through textContent." },
    { property: "insertAdjacentHTML", message: "Report text enters the page through textContent." }],
  "no-restricted-syntax": ["error",
    { selector: "CallExpression[callee.property.name='write'][callee.object.name='document']",
      message: "Report text enters the page through textContent." }],
};

module.exports = [
  { ignores: ["node_modules/", "build*/"] },
  js.configs.recommended,
  {
    // The page's parts, joined into one script: each defines itself on the
    // registry (parts/registry.js) that the first part declares.
    files: ["viewer/page/**/*.js"],
    ignores: ["viewer/page/parts/registry.js"],
    languageOptions: { ecmaVersion: 2023, sourceType: "script", globals: { ...browserGlobals, tarnview: "readonly" } },
    rules: strictness,
  },
  {
    files: ["viewer/page/parts/registry.js"],
    languageOptions: { ecmaVersion: 2023, sourceType: "script", globals: browserGlobals },
    rules: strictness,
  },
  {
    // The tests' callbacks to page.evaluate run in the page.
    files: ["tests/browser/**/*.js", "tests/page/**/*.js", "eslint.config.js"],
    languageOptions: { ecmaVersion: 2023, sourceType: "commonjs", globals: { ...browserGlobals, ...nodeGlobals, tarnview: "readonly" } },
    rules: strictness,
  },
];
