/* Colours: each line keeps its hue; its lightness moves, only as far as
   needed, until it reads on the theme's background (a contrast of at least
   4.5:1, as WCAG asks of text). */
"use strict";

tarnview.define("colours", [], () => {
  const MIN_CONTRAST = 4.5;
  const LIGHTNESS_STEP = 0.02;

  const isHexColour = (hex) => typeof hex === "string" && /^[0-9a-fA-F]{6}$/.test(hex);

  function hexToRgb(hex) {
    const value = parseInt(hex.replace("#", ""), 16);
    return [(value >> 16) & 255, (value >> 8) & 255, value & 255];
  }

  function rgbToHsl([red, green, blue]) {
    const [r, g, b] = [red / 255, green / 255, blue / 255];
    const max = Math.max(r, g, b);
    const min = Math.min(r, g, b);
    const lightness = (max + min) / 2;
    const chroma = max - min;
    if (chroma === 0) return [0, 0, lightness];
    const saturation = chroma / (1 - Math.abs(2 * lightness - 1));
    let hue;
    if (max === r) hue = ((g - b) / chroma) % 6;
    else if (max === g) hue = (b - r) / chroma + 2;
    else hue = (r - g) / chroma + 4;
    return [(hue * 60 + 360) % 360, saturation, lightness];
  }

  function hslToRgb(hue, saturation, lightness) {
    const chroma = (1 - Math.abs(2 * lightness - 1)) * saturation;
    const channel = (n) => {
      const k = (n + hue / 30) % 12;
      return Math.round(255 * (lightness - chroma / 2 * Math.max(-1, Math.min(k - 3, 9 - k, 1))));
    };
    return [channel(0), channel(8), channel(4)];
  }

  // Relative luminance and contrast ratio as WCAG defines them.
  function luminance(rgb) {
    const linear = rgb.map((value) => {
      const c = value / 255;
      return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
  }

  function contrast(a, b) {
    const [lighter, darker] = [luminance(a), luminance(b)].sort((x, y) => y - x);
    return (lighter + 0.05) / (darker + 0.05);
  }

  // The colour `hex` ("rrggbb") as shown on `backgroundHex`: [r, g, b].
  function readableRgb(hex, backgroundHex) {
    const background = hexToRgb(backgroundHex);
    const step = luminance(background) < 0.5 ? LIGHTNESS_STEP : -LIGHTNESS_STEP;
    const [hue, saturation, start] = rgbToHsl(hexToRgb(hex));
    let rgb = hexToRgb(hex);
    for (let lightness = start; contrast(rgb, background) < MIN_CONTRAST && lightness > 0 && lightness < 1;) {
      lightness = Math.min(1, Math.max(0, lightness + step));
      rgb = hslToRgb(hue, saturation, lightness);
    }
    return rgb;
  }

  return { MIN_CONTRAST, isHexColour, hexToRgb, rgbToHsl, hslToRgb, luminance, contrast, readableRgb };
});
