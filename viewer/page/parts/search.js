/* Search: the hits listed by region, a page at a time, each a jump to its
   line; n and N step through them.  The source does the searching (the
   server, or the embedded data), so both ways of opening the page find the
   same lines. */
"use strict";

tarnview.define("search", ["dom"], (dom) => {
  const HIT_TEXT_LIMIT = 300;   // characters of a hit's line shown
  const SEARCH_DELAY_MS = 250;
  const SUGGESTIONS_SHOWN = 20;
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

  // Names found by part, ranked as the server ranks them: ASCII case
  // ignored; the name itself, then the names it begins, then those where
  // it begins a part (after a character that is no letter or digit), then
  // those that merely hold it; within a rank the shorter (in bytes) first,
  // then in byte order.  When none holds it, the names a few edits away
  // (at most a third of its length, from 2 to MOST_EDITS; the first
  // COMPARED_BYTES of each), nearest first, then in byte order.
  const MATCHES = ["whole", "prefix", "wordStart", "inside"];
  const MOST_EDITS = 6;
  const COMPARED_BYTES = 256;
  const encoder = new TextEncoder();
  const folded = (text) => text.replace(/[A-Z]/g, (letter) => letter.toLowerCase());
  const letterOrDigit = (character) => /^[A-Za-z0-9]$/.test(character);

  function byteOrder(a, b) {
    const x = encoder.encode(a);
    const y = encoder.encode(b);
    for (let at = 0; at < Math.min(x.length, y.length); ++at) if (x[at] !== y[at]) return x[at] - y[at];
    return x.length - y.length;
  }

  // The edit distance of two byte arrays, or limit + 1 once it is more.
  function distanceWithin(a, b, limit) {
    if (Math.abs(a.length - b.length) > limit) return limit + 1;
    let row = Array.from({ length: b.length + 1 }, (_, at) => at);
    for (let i = 1; i <= a.length; ++i) {
      const next = [i];
      for (let j = 1; j <= b.length; ++j) {
        next[j] = Math.min(row[j - 1] + (a[i - 1] === b[j - 1] ? 0 : 1), row[j] + 1, next[j - 1] + 1);
      }
      if (Math.min(...next) > limit) return limit + 1;
      row = next;
    }
    return Math.min(row[b.length], limit + 1);
  }

  function closestNames(names, typed, count) {
    const wanted = encoder.encode(folded(typed));
    const limit = Math.min(MOST_EDITS, Math.max(2, Math.floor(wanted.length / 3)));
    const near = [];
    for (const name of names) {
      const bytes = encoder.encode(folded(name));
      if (Math.abs(bytes.length - wanted.length) > limit) continue;
      const distance = distanceWithin(bytes.slice(0, COMPARED_BYTES), wanted.slice(0, COMPARED_BYTES), limit);
      if (distance <= limit) near.push({ name, distance });
    }
    near.sort((x, y) => x.distance - y.distance || byteOrder(x.name, y.name));
    return near.slice(0, count).map(({ name }) => ({ name, match: "close" }));
  }

  // [{name, match}]: up to `count` of `names` for what was typed.
  function suggestNames(names, typed, count) {
    if (!typed || /[\r\n]/.test(typed)) return [];
    const query = folded(typed);
    const found = [];
    for (const name of names) {
      const text = folded(name);
      let rank = -1;
      for (let at = text.indexOf(query); at >= 0; at = text.indexOf(query, at + 1)) {
        const here = at === 0 ? (text.length === query.length ? 0 : 1) : letterOrDigit(name[at - 1]) ? 3 : 2;
        rank = rank < 0 ? here : Math.min(rank, here);
      }
      if (rank >= 0) found.push({ name, rank, bytes: encoder.encode(name).length });
    }
    if (!found.length) return closestNames(names, typed, count);
    found.sort((x, y) => x.rank - y.rank || x.bytes - y.bytes || byteOrder(x.name, y.name));
    return found.slice(0, count).map(({ name, rank }) => ({ name, match: MATCHES[rank] }));
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

    // The names suggested for what is typed, the latest answer only.
    const suggestions = { generation: 0, chosen: -1 };

    function hideSuggestions() {
      ++suggestions.generation;
      byId("suggestions").hidden = true;
      byId("suggestions").replaceChildren();
      byId("search").setAttribute("aria-expanded", "false");
      suggestions.chosen = -1;
    }

    async function suggest(typed) {
      const generation = ++suggestions.generation;
      if (!typed || !view.source || !view.source.suggest) return hideSuggestions();
      let found = [];
      try {
        found = await view.source.suggest(typed, SUGGESTIONS_SHOWN);
      } catch {
        found = [];   // no suggestions; the search itself says what went wrong
      }
      if (generation !== suggestions.generation || byId("search").value.trim() !== typed) return undefined;
      byId("suggestions").dataset.typed = typed;   // what the list answers
      if (!found.length) return hideSuggestions();
      byId("suggestions").replaceChildren(...found.map((suggestion, at) => {
        const item = element("li");
        item.id = `suggestion-${at}`;
        item.setAttribute("role", "option");
        item.setAttribute("aria-selected", "false");
        item.dataset.name = suggestion.name;
        item.append(suggestion.name);
        if (suggestion.match === "close") item.append(element("span", "match", "did you mean"));
        return item;
      }));
      suggestions.chosen = -1;
      byId("suggestions").hidden = false;
      byId("search").setAttribute("aria-expanded", "true");
      return undefined;
    }

    function chooseSuggestion(step) {
      const items = [...byId("suggestions").children];
      if (!items.length) return;
      suggestions.chosen = (suggestions.chosen + 1 + step + items.length + 1) % (items.length + 1) - 1;
      items.forEach((item, at) => item.setAttribute("aria-selected", String(at === suggestions.chosen)));
      const chosen = items[suggestions.chosen];
      if (chosen) {
        chosen.scrollIntoView({ block: "nearest" });
        byId("search").setAttribute("aria-activedescendant", chosen.id);
      } else byId("search").removeAttribute("aria-activedescendant");
    }

    // A suggestion taken: the name searched for.
    function takeSuggestion(name) {
      hideSuggestions();
      byId("search").value = name;
      window.clearTimeout(state.timer);
      run(name, 0);
    }

    function onInput() {
      window.clearTimeout(state.timer);
      const typed = byId("search").value.trim();
      suggest(typed);
      state.timer = window.setTimeout(() => run(typed, 0), SEARCH_DELAY_MS);
    }

    function onKey(event) {
      const open = !byId("suggestions").hidden;
      if (open && (event.key === "ArrowDown" || event.key === "ArrowUp")) {
        event.preventDefault();
        chooseSuggestion(event.key === "ArrowDown" ? 1 : -1);
        return;
      }
      if (open && event.key === "Escape") {
        event.preventDefault();
        hideSuggestions();
        return;
      }
      if (event.key !== "Enter") return;
      const chosen = byId("suggestions").children[suggestions.chosen];
      if (open && chosen) {
        takeSuggestion(chosen.dataset.name);
        return;
      }
      hideSuggestions();
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
      byId("search").addEventListener("blur", hideSuggestions);
      byId("suggestions").addEventListener("mousedown", (event) => {
        const item = event.target.closest("li[data-name]");
        if (!item) return;
        event.preventDefault();   // the search box keeps the focus
        takeSuggestion(item.dataset.name);
      });
      byId("hits").addEventListener("click", onHitClick);
      byId("more-hits").addEventListener("click", () => run(state.query, state.next));
      byId("search-history").addEventListener("click", (event) => {
        const button = event.target.closest("button");
        if (button) actions.openName(button.dataset.name, button.dataset.kind);
      });
    }

    function clear() {
      hideSuggestions();
      byId("search").value = "";
      return run("", 0);
    }

    return { start, run, step, clear, query: () => state.query };
  }

  return { searchPanel, HitList, suggestNames };
});
