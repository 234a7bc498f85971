/* The theme (the system's, light or dark, chosen in the header and
   remembered) and the colours of the report's lines on it. */
"use strict";

tarnview.define("theme", ["dom", "colours"], (dom, colours) => {
  const CHOICES = ["system", "light", "dark"];
  const colourCache = new Map();   // "rrggbb" -> CSS colour on the current background
  const listeners = [];

  function themeColour(name) {
    return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  }

  function paint(node, hex) {
    if (!colours.isHexColour(hex)) return;
    if (!colourCache.has(hex)) {
      const background = themeColour("--background").replace("#", "");
      colourCache.set(hex, `rgb(${colours.readableRgb(hex, background).join(", ")})`);
    }
    node.dataset.colour = hex;
    node.style.color = colourCache.get(hex);
  }

  function changed() {
    colourCache.clear();
    for (const listener of listeners) listener();
  }

  function choose(choice) {
    const theme = CHOICES.includes(choice) ? choice : "system";
    if (theme === "system") delete document.documentElement.dataset.theme;
    else document.documentElement.dataset.theme = theme;
    dom.byId("theme-select").value = theme;
    dom.remembered.set("theme", theme);
    changed();
  }

  function start() {
    const select = dom.byId("theme-select");
    select.addEventListener("change", () => choose(select.value));
    window.matchMedia("(prefers-color-scheme: dark)").addEventListener("change", changed);
    choose(dom.remembered.get("theme", "system"));
  }

  return { CHOICES, themeColour, paint, start, onChange: (listener) => listeners.push(listener), choose };
});
