/* Search: the hits listed by region, a page at a time, each a jump to its
   line; n and N step through them.  The source does the searching (the
   server, or the embedded data), so both ways of opening the page find the
   same lines. */
"use strict";

tarnview.define("search", ["dom"], (dom) => {
  const HIT_TEXT_LIMIT = 300;   // characters of a hit's line shown
  const SEARCH_DELAY_MS = 250;
  const { byId, element } = dom;

  // The hits so far, in line order, and which one was last gone to.
  class HitList {
    constructor() {
      this.lines = [];
      this.at = -1;
    }

    add(hits) {
      for (const hit of hits) this.lines.push(hit.line);
    }

    // The index of the hit to go to from `line` (the current line, or -1),
    // forward (+1) or back (-1); -1 when there is none that way yet.
    step(direction, line) {
      if (!this.lines.length) return -1;
      if (this.at >= 0 && this.lines[this.at] === line) {
        const next = this.at + direction;
        return next >= 0 && next < this.lines.length ? next : -1;
      }
      if (direction > 0) return this.lines.findIndex((hit) => hit > line);
      return this.lines.findLastIndex((hit) => hit < line);
    }
  }

  function hitButton(hit, path) {
    const button = dom.button(undefined, "hit");
    button.dataset.line = String(hit.line);
    button.dataset.region = String(hit.region);
    const text = String(hit.text);
    button.append(element("span", "number", String(hit.line + 1)));
    button.append(text.length > HIT_TEXT_LIMIT ? `${text.slice(0, HIT_TEXT_LIMIT)}\u2026` : text);
    button.title = path;
    return button;
  }

  // `view.source` searches and `view.model.path(region)` names a region;
  // `actions.goToLine(line)` and `actions.openName(name, kind)`.
  function searchPanel(view, actions) {
    const state = { query: "", next: null, generation: 0, timer: 0, lastGroup: null, count: 0, hits: new HitList() };

    function appendHits(hits) {
      const box = byId("hits");
      for (const hit of hits) {
        if (!state.lastGroup || state.lastGroup.region !== hit.region) {
          const group = element("section", "hit-group");
          group.dataset.region = String(hit.region);
          group.append(element("h3", "", view.model.path(hit.region)));
          box.append(group);
          state.lastGroup = { region: hit.region, node: group };
        }
        state.lastGroup.node.append(hitButton(hit, view.model.path(hit.region)));
      }
      state.count += hits.length;
      state.hits.add(hits);
    }

    function status() {
      const more = state.next !== null ? " so far" : "";
      return `${state.count} ${state.count === 1 ? "hit" : "hits"}${more} for \u201c${state.query}\u201d`;
    }

    function historyButtons(query, kinds) {
      for (const kind of kinds) {
        const button = dom.button(`History of ${query}${kinds.length > 1 ? ` (${kind})` : ""}`);
        button.dataset.name = query;
        button.dataset.kind = kind;
        byId("search-history").append(button);
      }
    }

    async function run(query, from) {
      const generation = ++state.generation;
      const results = byId("search-results");
      if (from === 0) {
        byId("hits").replaceChildren();
        byId("search-history").replaceChildren();
        Object.assign(state, { lastGroup: null, count: 0, hits: new HitList(), next: null });
      }
      state.query = query;
      if (!query) {
        results.hidden = true;
        return;
      }
      results.hidden = false;
      byId("search-status").textContent = `Searching for \u201c${query}\u201d\u2026`;
      performance.mark("search-start");
      try {
        const answer = await view.source.search(query, from);
        if (generation !== state.generation) return;
        state.next = answer.next === undefined ? null : answer.next;
        appendHits(answer.hits);
        byId("more-hits").hidden = state.next === null;
        byId("search-status").textContent = status();
        if (from === 0 && answer.kinds) historyButtons(query, answer.kinds);
        performance.measure("search", "search-start");
      } catch (error) {
        if (generation === state.generation) byId("search-status").textContent = dom.messageOf(error);
      }
    }

    function markHit(index) {
      state.hits.at = index;
      for (const node of byId("hits").querySelectorAll(".hit.chosen")) node.classList.remove("chosen");
      const node = byId("hits").querySelectorAll(".hit")[index];
      if (node) {
        node.classList.add("chosen");
        node.scrollIntoView({ block: "nearest" });
      }
    }

    // Goes to the next (+1) or previous (-1) hit from the current line,
    // asking for the next page of hits when the page so far is used up.
    async function step(direction, currentLine) {
      let index = state.hits.step(direction, currentLine);
      if (index < 0 && direction > 0 && state.next !== null) {
        await run(state.query, state.next);
        index = state.hits.step(direction, currentLine);
      }
      if (index < 0) return false;
      markHit(index);
      actions.goToLine(state.hits.lines[index]);
      return true;
    }

    function onInput() {
      window.clearTimeout(state.timer);
      state.timer = window.setTimeout(() => run(byId("search").value.trim(), 0), SEARCH_DELAY_MS);
    }

    function onKey(event) {
      if (event.key !== "Enter") return;
      window.clearTimeout(state.timer);
      run(byId("search").value.trim(), 0);
    }

    function onHitClick(event) {
      const hit = event.target.closest(".hit");
      if (!hit) return;
      markHit([...byId("hits").querySelectorAll(".hit")].indexOf(hit));
      actions.goToLine(Number(hit.dataset.line));
    }

    function start() {
      byId("search").addEventListener("input", onInput);
      byId("search").addEventListener("keydown", onKey);
      byId("hits").addEventListener("click", onHitClick);
      byId("more-hits").addEventListener("click", () => run(state.query, state.next));
      byId("search-history").addEventListener("click", (event) => {
        const button = event.target.closest("button");
        if (button) actions.openName(button.dataset.name, button.dataset.kind);
      });
    }

    function clear() {
      byId("search").value = "";
      return run("", 0);
    }

    return { start, run, step, clear, query: () => state.query };
  }

  return { searchPanel, HitList };
});
