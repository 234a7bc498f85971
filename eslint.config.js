// ESLint for the tarnview page (browser script) and its browser tests (node).
"use strict";

const js = require("@eslint/js");

const browserGlobals = Object.fromEntries(
  ["window", "document", "performance", "fetch", "URL", "URLSearchParams", "getComputedStyle", "Chart"]
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
    files: ["viewer/page/**/*.js"],
    languageOptions: { ecmaVersion: 2022, sourceType: "script", globals: browserGlobals },
    rules: strictness,
  },
  {
    // The tests' callbacks to page.evaluate run in the page.
    files: ["tests/browser/**/*.js", "eslint.config.js"],
    languageOptions: { ecmaVersion: 2022, sourceType: "commonjs", globals: { ...browserGlobals, ...nodeGlobals } },
    rules: strictness,
  },
];
