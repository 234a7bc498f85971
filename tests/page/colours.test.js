// Line colours on the light and the dark theme: readable (4.5:1) and with
// the hue of the report's prefix, for a sweep of hues and lightnesses.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { loadParts } = require("./load");

const colours = loadParts().use("colours");

const hex = (rgb) => rgb.map((value) => value.toString(16).padStart(2, "0")).join("");

test("every prefix colour reads on both themes and keeps its hue", () => {
  for (const background of ["ffffff", "16181c"]) {
    for (let hue = 0; hue < 360; hue += 15) {
      for (const lightness of [0.05, 0.3, 0.5, 0.7, 0.95]) {
        const prefix = hex(colours.hslToRgb(hue, 0.9, lightness));
        const shown = colours.readableRgb(prefix, background);
        const ratio = colours.contrast(shown, colours.hexToRgb(background));
        assert.ok(ratio >= colours.MIN_CONTRAST, `${prefix} on ${background}: ${ratio.toFixed(2)}`);
        const [shownHue, saturation] = colours.rgbToHsl(shown);
        const turn = Math.abs(shownHue - hue);
        if (saturation > 0.2) assert.ok(Math.min(turn, 360 - turn) < 8, `${prefix} on ${background} keeps its hue`);
      }
    }
  }
});

test("a colour that already reads is left as it is", () => {
  assert.deepEqual(colours.readableRgb("0000e1", "ffffff"), [0, 0, 225]);
  assert.deepEqual(colours.readableRgb("e4e6ea", "16181c"), [228, 230, 234]);
  assert.ok(!colours.isHexColour("12345") && !colours.isHexColour(null) && colours.isHexColour("A0b1C2"));
});
