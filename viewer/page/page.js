/* The tarnview page.  One script for both ways the page is opened:
   - embedded (`tarnview html`): the report and every line are in the
     <script type="application/json" id="report-data"> element;
   - served (`tarnview serve`): the outline, the lines, search, history,
     compare and the report's version come from the server's JSON API, with
     the token of the page's own URL.
   Every text of a report enters the page through textContent (or is drawn on
   a canvas), never as markup.  Only the lines near the screen are in the
   DOM, so a region's text is there only while the region is open and on
   screen, whatever the size of the report. */
"use strict";

(function tarnview() {
  const LINE_CHUNK = 250;           // lines fetched per request when served
  const LINE_CHUNKS_KEPT = 256;     // chunks cached before the farthest are dropped
  const OVERSCAN_ROWS = 40;         // rows drawn above and below the screen
  const SIZER_LIMIT_PX = 15000000;  // beyond this the scroll range is scaled (browsers stop near 33M)
  const HIT_PAGE = 500;             // hits per page of an embedded search
  const HIT_TEXT_LIMIT = 300;       // characters of a hit's line shown
  const SEARCH_DELAY_MS = 250;
  const VERSION_POLL_MS = 2000;
  const DIFFERENCES_SHOWN = 200;       // rows of the compare view's table

  const SUMMARY_X = "Major Iteration";
  const SUMMARY_LOG_SERIES = [
    "Variable Convergence Function",
    "Residual Convergence Function",
    "Objective Convergence Function",
    "Total L-Infeasible Value",
  ];
  const SUMMARY_LINEAR_SERIES = ["Objective Function Value"];
  const PALETTE = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2", "#17becf"];
  const DASHES = [[], [6, 3], [2, 2], [8, 3, 2, 3]];

  const byId = (id) => document.getElementById(id);
  const documentBox = byId("document");
  const rowsBox = byId("document-rows");
  const sizer = byId("document-sizer");
  const outlineTree = byId("outline");

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function showNotice(id, text) {
    const notice = byId(id);
    notice.textContent = text;
    notice.hidden = false;
  }

  function showFailure(error) {
    showNotice("failure", String(error && error.message ? error.message : error));
  }

  // ---- Colours: each line keeps its hue; its lightness moves, only as far
  // as needed, until it reads on the theme's background (a contrast of at
  // least 4.5:1, as WCAG asks of text).

  const MIN_CONTRAST = 4.5;
  const LIGHTNESS_STEP = 0.02;
  const colourCache = new Map();   // "rrggbb" -> CSS colour on the current background

  function hexToRgb(hex) {
    const value = parseInt(hex, 16);
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

  function readableColour(hex) {
    const background = hexToRgb(themeColour("--background").replace("#", ""));
    const step = luminance(background) < 0.5 ? LIGHTNESS_STEP : -LIGHTNESS_STEP;
    const [hue, saturation, start] = rgbToHsl(hexToRgb(hex));
    let rgb = hexToRgb(hex);
    for (let lightness = start; contrast(rgb, background) < MIN_CONTRAST && lightness > 0 && lightness < 1;) {
      lightness = Math.min(1, Math.max(0, lightness + step));
      rgb = hslToRgb(hue, saturation, lightness);
    }
    return `rgb(${rgb.join(", ")})`;
  }

  function paint(node, hex) {
    if (typeof hex !== "string" || !/^[0-9a-fA-F]{6}$/.test(hex)) return;
    if (!colourCache.has(hex)) colourCache.set(hex, readableColour(hex));
    node.dataset.colour = hex;
    node.style.color = colourCache.get(hex);
  }

  // ---- Where the data comes from.

  // The search the server makes, from the embedded data: a name's lines as
  // the reader listed them (`names`), any other text where a line's shown
  // text holds it as written.
  function searchLinesLocally(lines, names, regionOf) {
    const hit = (line) => ({ line, region: regionOf(line), text: lines[line][2] });
    return async (query, from) => {
      if (Object.hasOwn(names, query)) {
        return { hits: names[query].filter((line) => line >= from).map(hit), next: null, indexed: true, name: true,
          kinds: [] };
      }
      const hits = [];
      let line = from;
      for (; line < lines.length && hits.length < HIT_PAGE; ++line) {
        if (lines[line][2].includes(query)) hits.push(hit(line));
      }
      return { hits, next: line < lines.length ? line : null, indexed: false, name: false, kinds: [] };
    };
  }

  function embeddedSource(data, regionOf) {
    return {
      served: false,
      allLines: data.lines,
      outline: async () => data.report,
      search: searchLinesLocally(data.lines, data.names || {}, regionOf),
    };
  }

  function apiUrl(token, path, parameters) {
    const url = new URL(path, window.location.href);
    url.searchParams.set("token", token);
    for (const [key, value] of Object.entries(parameters || {})) url.searchParams.set(key, String(value));
    return url;
  }

  async function fetchJson(token, path, parameters) {
    const response = await fetch(apiUrl(token, path, parameters), { cache: "no-store" });
    let body = null;
    try {
      body = await response.json();
    } catch {
      body = null;
    }
    if (!response.ok) {
      const reason = body && body.error ? body.error : `${response.status} ${response.statusText}`;
      throw new Error(`${path}: ${reason}`);
    }
    return body;
  }

  function servedSource(token, id) {
    const base = `/api/reports/${encodeURIComponent(id)}`;
    return {
      served: true,
      id,
      outline: () => fetchJson(token, `${base}/outline`),
      lines: (from, count) => fetchJson(token, `${base}/lines`, { from, count }).then((answer) => answer.lines),
      search: (query, from) => fetchJson(token, `${base}/search`, { q: query, from }),
      history: (name, kind) => fetchJson(token, `${base}/history`, kind ? { name, kind } : { name }),
      version: () => fetchJson(token, `${base}/version`).then((answer) => answer.version),
    };
  }

  // Lines by number: all at hand when embedded, fetched a chunk at a time
  // when served (a chunk asked for once until it arrives).
  function lineStore(source, onArrival) {
    const chunks = new Map();
    let generation = 0;

    function dropFarChunks(near) {
      if (chunks.size <= LINE_CHUNKS_KEPT) return;
      const far = [...chunks.keys()].sort((a, b) => Math.abs(b - near) - Math.abs(a - near));
      for (const key of far.slice(0, chunks.size - LINE_CHUNKS_KEPT)) chunks.delete(key);
    }

    // The server may answer with fewer lines than asked (it caps the bytes
    // of an answer): the rest is asked for until the chunk is whole or the
    // file ends.
    async function wholeChunk(index) {
      const lines = [];
      while (lines.length < LINE_CHUNK) {
        const more = await source.lines(index * LINE_CHUNK + lines.length, LINE_CHUNK - lines.length);
        if (!more.length) break;
        lines.push(...more);
      }
      return lines;
    }

    function fetchChunk(index) {
      const entry = { lines: null };
      const asked = generation;
      chunks.set(index, entry);
      wholeChunk(index).then(
        (lines) => {
          if (asked !== generation) return;
          entry.lines = lines;
          dropFarChunks(index);
          onArrival();
        },
        (error) => {
          if (asked !== generation) return;
          chunks.delete(index);
          showFailure(error);
        },
      );
    }

    return {
      get(number) {
        if (source.allLines) return source.allLines[number];
        const index = Math.floor(number / LINE_CHUNK);
        const entry = chunks.get(index);
        if (!entry) {
          fetchChunk(index);
          return undefined;
        }
        return entry.lines ? entry.lines[number - index * LINE_CHUNK] : undefined;
      },
      forget() {
        generation += 1;
        chunks.clear();
      },
    };
  }

  // ---- The report's regions.

  const view = {
    source: null,
    store: null,
    report: null,
    regions: [],
    topRegions: [],
    startRegion: new Map(),   // region start line -> region id
    open: new Uint8Array(0),
    segments: [],             // {row, line, count}: runs of rows showing consecutive lines
    rowCount: 0,
    drawn: { first: -1, last: -1 },
    currentLine: -1,
    lineHeight: 18,
  };

  function lastAtOrBefore(items, value, key) {
    let low = 0;
    let high = items.length - 1;
    let found = -1;
    while (low <= high) {
      const middle = (low + high) >> 1;
      if (key(items[middle]) <= value) {
        found = middle;
        low = middle + 1;
      } else {
        high = middle - 1;
      }
    }
    return found;
  }

  // The innermost region that holds the line, or -1.
  function regionOfLine(line) {
    let candidates = view.topRegions;
    let found = -1;
    for (;;) {
      const at = lastAtOrBefore(candidates, line, (id) => view.regions[id].line);
      if (at < 0) return found;
      const id = candidates[at];
      if (line > view.regions[id].end) return found;
      found = id;
      candidates = view.regions[id].children;
    }
  }

  function regionPath(id) {
    const titles = [];
    for (let at = id; at >= 0; at = view.regions[at].parent) titles.unshift(view.regions[at].title);
    return titles.length ? titles.join(" \u203a ") : "Outside any region";
  }

  function openByDefault(region) {
    return region.depth === 0 || region.kind !== "iteration";
  }

  // The rows shown: every line outside a closed region, the start line of
  // each region as its title, no region end lines.
  function buildRows() {
    const segments = [];
    let rowCount = 0;
    const add = (from, to) => {
      if (to <= from) return;
      const last = segments[segments.length - 1];
      if (last && last.line + last.count === from) last.count += to - from;
      else segments.push({ row: rowCount, line: from, count: to - from });
      rowCount += to - from;
    };
    // A walk of the open regions with a stack of its own (regions may nest
    // deeper than the script's call stack).
    const stack = [{ children: view.topRegions, next: 0, cursor: 0, to: view.report.lineCount }];
    while (stack.length) {
      const frame = stack[stack.length - 1];
      if (frame.next === frame.children.length) {
        add(frame.cursor, frame.to);
        stack.pop();
        continue;
      }
      const id = frame.children[frame.next++];
      const region = view.regions[id];
      add(frame.cursor, region.line + 1);
      frame.cursor = region.end + 1;
      if (view.open[id]) stack.push({ children: region.children, next: 0, cursor: region.line + 1, to: region.end });
    }
    view.segments = segments;
    view.rowCount = rowCount;
    // The scroll range follows at once, so that a scroll to a new row is not cut short.
    sizer.style.height = `${scrollGeometry().sizerHeight}px`;
  }

  function lineOfRow(row) {
    const at = lastAtOrBefore(view.segments, row, (segment) => segment.row);
    const segment = view.segments[at];
    return segment.line + (row - segment.row);
  }

  function rowOfLine(line) {
    const at = lastAtOrBefore(view.segments, line, (segment) => segment.line);
    if (at < 0) return -1;
    const segment = view.segments[at];
    return line < segment.line + segment.count ? segment.row + (line - segment.line) : -1;
  }

  // ---- The text: rows of one height, only those near the screen drawn.

  function scrollGeometry() {
    const contentHeight = view.rowCount * view.lineHeight;
    const sizerHeight = Math.min(contentHeight, SIZER_LIMIT_PX);
    const viewport = documentBox.clientHeight;
    const scrollRange = Math.max(sizerHeight - viewport, 0);
    const contentRange = Math.max(contentHeight - viewport, 0);
    return { sizerHeight, viewport, ratio: scrollRange > 0 ? contentRange / scrollRange : 1 };
  }

  function regionStartRow(row, id) {
    const region = view.regions[id];
    row.classList.add("start");
    row.dataset.region = String(id);
    const fold = element("span", "fold", view.open[id] ? "\u25be" : "\u25b8");
    const title = element("span", "text", region.title);
    paint(title, region.colour);
    row.append(fold, title);
    if (!view.open[id]) row.append(element("span", "folded", `${region.lineCount} lines`));
  }

  function textRow(row, content) {
    row.append(element("span", "lead"));
    if (!content) {
      row.classList.add("pending");
      row.append(element("span", "text", "\u2026"));
      return;
    }
    // A table row comes with its name and what it names (the reader's).
    const [kind, colour, text, rowName, rowKind] = content;
    if (kind === "x") row.classList.add("stray");
    const name = view.source.served && rowName && text.startsWith(rowName) ? rowName : "";
    if (name) {
      const link = element("span", "text name", name);
      link.title = `History of ${name}`;
      link.dataset.name = name;
      link.dataset.kind = rowKind;
      paint(link, colour);
      row.append(link);
    }
    const rest = element("span", "text", name ? text.slice(name.length) : text);
    paint(rest, colour);
    row.append(rest);
  }

  function rowElement(line) {
    const row = element("div", "row");
    row.dataset.line = String(line);
    if (line === view.currentLine) row.classList.add("current");
    row.append(element("span", "number", String(line + 1)));
    const id = view.startRegion.get(line);
    if (id !== undefined) regionStartRow(row, id);
    else textRow(row, view.store.get(line));
    return row;
  }

  function draw(force) {
    if (!view.report) return;
    const { viewport, ratio } = scrollGeometry();
    const contentTop = documentBox.scrollTop * ratio;
    const first = Math.max(0, Math.floor(contentTop / view.lineHeight) - OVERSCAN_ROWS);
    const last = Math.min(view.rowCount, Math.ceil((contentTop + viewport) / view.lineHeight) + OVERSCAN_ROWS);
    rowsBox.style.transform = `translateY(${documentBox.scrollTop + first * view.lineHeight - contentTop}px)`;
    if (!force && first === view.drawn.first && last === view.drawn.last) return;
    const fragment = document.createDocumentFragment();
    for (let row = first; row < last; ++row) fragment.append(rowElement(lineOfRow(row)));
    rowsBox.replaceChildren(fragment);
    view.drawn = { first, last };
  }

  let drawPending = false;
  function drawSoon(force) {
    if (force) view.drawn = { first: -1, last: -1 };
    if (drawPending) return;
    drawPending = true;
    window.requestAnimationFrame(() => {
      drawPending = false;
      draw(false);
    });
  }

  // Puts `row` at `offset` pixels below the top of the text's box.
  function scrollToRow(row, offset) {
    const { ratio } = scrollGeometry();
    documentBox.scrollTop = Math.max(0, (row * view.lineHeight - offset) / ratio);
  }

  function rowOffset(row) {
    const { ratio } = scrollGeometry();
    return row * view.lineHeight - documentBox.scrollTop * ratio;
  }

  // ---- The outline: an ARIA tree, one item per region, in document order.
  // The items are siblings with their depth in aria-level (regions may nest
  // deeper than nested lists can be drawn); those inside a closed region are
  // hidden.

  const MAX_INDENT_LEVELS = 24;

  function treeItem(id) {
    return byId(`region-${id}`);
  }

  function outlineItem(id) {
    const region = view.regions[id];
    const item = element("li");
    item.id = `region-${id}`;
    item.dataset.region = String(id);
    item.setAttribute("role", "treeitem");
    item.setAttribute("aria-level", String(region.depth + 1));
    item.setAttribute("aria-expanded", String(Boolean(view.open[id])));
    item.tabIndex = -1;
    const label = element("div", "item");
    label.style.paddingLeft = `${Math.min(region.depth, MAX_INDENT_LEVELS) * 14 + 4}px`;
    label.append(element("span", "twisty"));
    label.append(element("span", "title", region.title), element("span", "count", String(region.lineCount)));
    item.append(label);
    return item;
  }

  // Hides the items inside closed regions among the descendants of region
  // `parent` (-1: every region), which end before region `end` (document
  // order: a region's descendants follow it).
  function showOpenItems(parent, end) {
    const parentItem = parent >= 0 ? treeItem(parent) : null;
    const hiddenAbove = parentItem !== null && (parentItem.hidden || !view.open[parent]);
    const closedAt = [];  // depths of the closed regions around the item
    for (let id = parent + 1; id < end; ++id) {
      const depth = view.regions[id].depth;
      while (closedAt.length && closedAt[closedAt.length - 1] >= depth) closedAt.pop();
      treeItem(id).hidden = hiddenAbove || closedAt.length > 0;
      if (!view.open[id]) closedAt.push(depth);
    }
  }

  // The id after the last region inside region `id`.
  function endOfDescendants(id) {
    let end = id + 1;
    while (end < view.regions.length && view.regions[end].depth > view.regions[id].depth) ++end;
    return end;
  }

  function buildOutline() {
    const fragment = document.createDocumentFragment();
    view.regions.forEach((_, id) => fragment.append(outlineItem(id)));
    outlineTree.replaceChildren(fragment);
    showOpenItems(-1, view.regions.length);
    const first = outlineTree.querySelector('[role="treeitem"]');
    if (first) first.tabIndex = 0;
  }

  function setOpen(id, open) {
    view.open[id] = open ? 1 : 0;
    const item = treeItem(id);
    if (!item) return;
    item.setAttribute("aria-expanded", String(open));
    showOpenItems(id, endOfDescendants(id));
  }

  // Opens or closes a region, keeping its title where it is on screen.
  function toggleRegion(id, open) {
    const wanted = open === undefined ? !view.open[id] : open;
    if (Boolean(view.open[id]) === wanted) return;
    const startRow = rowOfLine(view.regions[id].line);
    const offset = startRow >= 0 ? rowOffset(startRow) : 0;
    setOpen(id, wanted);
    buildRows();
    const newRow = rowOfLine(view.regions[id].line);
    if (startRow >= 0 && newRow >= 0) scrollToRow(newRow, offset);
    drawSoon(true);
  }

  // Opens every region around the line and puts it in the middle of the screen.
  function goToLine(line) {
    for (let id = regionOfLine(line); id >= 0; id = view.regions[id].parent) {
      if (!view.open[id]) setOpen(id, true);
    }
    buildRows();
    view.currentLine = line;
    const row = rowOfLine(line);
    if (row >= 0) scrollToRow(row, documentBox.clientHeight / 2 - view.lineHeight);
    draw(true);
  }

  function focusTreeItem(item) {
    if (!item) return;
    for (const other of outlineTree.querySelectorAll('[role="treeitem"][tabindex="0"]')) other.tabIndex = -1;
    item.tabIndex = 0;
    item.focus();
  }

  function visibleTreeItems() {
    return [...outlineTree.querySelectorAll('[role="treeitem"]')].filter((item) => !item.hidden);
  }

  function onTreeKey(event) {
    const item = event.target.closest('[role="treeitem"]');
    if (!item) return;
    const id = Number(item.dataset.region);
    const items = visibleTreeItems();
    const at = items.indexOf(item);
    const actions = {
      ArrowDown: () => focusTreeItem(items[at + 1]),
      ArrowUp: () => focusTreeItem(items[at - 1]),
      Home: () => focusTreeItem(items[0]),
      End: () => focusTreeItem(items[items.length - 1]),
      ArrowRight: () => (view.open[id] ? focusTreeItem(items[at + 1]) : toggleRegion(id, true)),
      ArrowLeft: () => (view.open[id] ? toggleRegion(id, false) : focusTreeItem(treeItem(view.regions[id].parent))),
      Enter: () => goToLine(view.regions[id].line),
      " ": () => toggleRegion(id),
    };
    const action = actions[event.key];
    if (!action) return;
    event.preventDefault();
    action();
  }

  function onTreeClick(event) {
    const item = event.target.closest('[role="treeitem"]');
    if (!item) return;
    const id = Number(item.dataset.region);
    focusTreeItem(item);
    if (event.target.closest(".twisty")) toggleRegion(id);
    else if (event.target.closest(".item")) goToLine(view.regions[id].line);
  }

  function onRowClick(event) {
    const row = event.target.closest(".row");
    if (!row) return;
    if (row.dataset.region !== undefined && event.target.closest(".fold, .text")) {
      toggleRegion(Number(row.dataset.region));
      return;
    }
    const name = event.target.closest("[data-name]");
    if (name) showHistory(name.dataset.name, name.dataset.kind);
  }

  // ---- Search: hits listed by region, each a jump to its line.

  const search = { query: "", next: null, generation: 0, timer: 0, lastGroup: null, count: 0 };

  function hitButton(hit) {
    const button = element("button", "hit");
    button.type = "button";
    button.dataset.line = String(hit.line);
    button.dataset.region = String(hit.region);
    const text = String(hit.text);
    button.append(element("span", "number", String(hit.line + 1)));
    button.append(text.length > HIT_TEXT_LIMIT ? `${text.slice(0, HIT_TEXT_LIMIT)}\u2026` : text);
    button.title = regionPath(hit.region);
    return button;
  }

  function appendHits(hits) {
    const box = byId("hits");
    for (const hit of hits) {
      if (!search.lastGroup || search.lastGroup.region !== hit.region) {
        const group = element("section", "hit-group");
        group.dataset.region = String(hit.region);
        group.append(element("h3", "", regionPath(hit.region)));
        box.append(group);
        search.lastGroup = { region: hit.region, node: group };
      }
      search.lastGroup.node.append(hitButton(hit));
    }
    search.count += hits.length;
  }

  function searchStatus() {
    const more = search.next !== null ? " so far" : "";
    return `${search.count} ${search.count === 1 ? "hit" : "hits"}${more} for \u201c${search.query}\u201d`;
  }

  async function runSearch(query, from) {
    const generation = ++search.generation;
    const results = byId("search-results");
    if (from === 0) {
      byId("hits").replaceChildren();
      search.lastGroup = null;
      search.count = 0;
      byId("search-history").replaceChildren();
    }
    search.query = query;
    if (!query) {
      results.hidden = true;
      return;
    }
    results.hidden = false;
    byId("search-status").textContent = `Searching for \u201c${query}\u201d\u2026`;
    performance.mark("search-start");
    try {
      const answer = await view.source.search(query, from);
      if (generation !== search.generation) return;
      search.next = answer.next === undefined ? null : answer.next;
      appendHits(answer.hits);
      byId("more-hits").hidden = search.next === null;
      byId("search-status").textContent = searchStatus();
      if (from === 0 && answer.kinds) {
        for (const kind of answer.kinds) {
          const button = element("button", "", `History of ${query}${answer.kinds.length > 1 ? ` (${kind})` : ""}`);
          button.type = "button";
          button.dataset.name = query;
          button.dataset.kind = kind;
          byId("search-history").append(button);
        }
      }
      performance.measure("search", "search-start");
    } catch (error) {
      if (generation === search.generation) byId("search-status").textContent = String(error.message || error);
    }
  }

  function onSearchInput() {
    window.clearTimeout(search.timer);
    search.timer = window.setTimeout(() => runSearch(byId("search").value.trim(), 0), SEARCH_DELAY_MS);
  }

  function onSearchKey(event) {
    if (event.key !== "Enter") return;
    window.clearTimeout(search.timer);
    runSearch(byId("search").value.trim(), 0);
  }

  function onHitClick(event) {
    const hit = event.target.closest(".hit");
    if (hit) goToLine(Number(hit.dataset.line));
  }

  // ---- Charts (Chart.js): configuration only.

  const charts = new Map();

  function themeColour(name) {
    return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  }

  function numberOrNull(value, positiveOnly) {
    if (typeof value !== "number" || !Number.isFinite(value)) return null;
    return positiveOnly && value <= 0 ? null : value;
  }

  function formatNumber(value) {
    if (value === null || value === undefined) return "";
    const magnitude = Math.abs(value);
    return magnitude !== 0 && (magnitude < 1e-3 || magnitude >= 1e7) ? value.toExponential(4) : String(value);
  }

  // A table cell: numbers to twelve significant digits (a difference of
  // two values printed to fewer digits shows no rounding noise).
  function cellText(value) {
    if (value === null || value === undefined) return "";
    return typeof value === "number" ? String(Number(value.toPrecision(12))) : String(value);
  }

  function lineDataset(label, data, index) {
    const colour = PALETTE[index % PALETTE.length];
    return {
      label,
      data,
      borderColor: colour,
      backgroundColor: colour,
      borderDash: DASHES[Math.floor(index / PALETTE.length) % DASHES.length],
      pointRadius: 3,
      spanGaps: false,
    };
  }

  function drawChart(canvasId, title, xTitle, labels, datasets, logarithmic) {
    const canvas = byId(canvasId);
    if (charts.has(canvasId)) charts.get(canvasId).destroy();
    const grid = themeColour("--border");
    const text = themeColour("--muted");
    const chart = new Chart(canvas, {
      type: "line",
      data: { labels, datasets },
      options: {
        animation: false,
        responsive: true,
        maintainAspectRatio: false,
        interaction: { mode: "index", intersect: false },
        color: text,
        plugins: {
          title: { display: true, text: title, color: text },
          tooltip: {
            callbacks: { label: (context) => `${context.dataset.label}: ${formatNumber(context.raw)}` },
          },
        },
        scales: {
          x: { title: { display: true, text: xTitle, color: text }, ticks: { color: text }, grid: { color: grid } },
          y: { type: logarithmic ? "logarithmic" : "linear", ticks: { color: text }, grid: { color: grid } },
        },
      },
    });
    charts.set(canvasId, chart);
    return chart;
  }

  function summaryColumn(summary, name, positiveOnly) {
    const at = summary.columns.indexOf(name);
    return summary.rows.map((row) => (at < 0 ? null : numberOrNull(row[at], positiveOnly)));
  }

  function summaryLabels(summary) {
    const at = summary.columns.indexOf(SUMMARY_X);
    return summary.rows.map((row, index) => String(at >= 0 && row[at] !== null ? row[at] : index));
  }

  // The summary charts of one or more reports on shared axes: `runs` is
  // [{name, summary}]; a name is put before each series when there are several.
  function drawSummaryCharts(runs, logCanvas, linearCanvas) {
    const longest = runs.reduce((best, run) => (run.summary.rows.length > best.summary.rows.length ? run : best));
    const labels = summaryLabels(longest.summary);
    const prefix = (run, column) => (runs.length > 1 ? `${run.name}: ${column}` : column);
    const series = (columns, positiveOnly) =>
      runs.flatMap((run, runIndex) =>
        columns.map((column, columnIndex) => {
          const dataset = lineDataset(prefix(run, column), summaryColumn(run.summary, column, positiveOnly), columnIndex);
          dataset.borderDash = DASHES[runIndex % DASHES.length];
          return dataset;
        }),
      );
    drawChart(logCanvas, "Convergence functions and total L-infeasibility (log scale)", SUMMARY_X, labels,
      series(SUMMARY_LOG_SERIES, true), true);
    drawChart(linearCanvas, "Objective function value", SUMMARY_X, labels, series(SUMMARY_LINEAR_SERIES, false), false);
  }

  function showSummaryCharts() {
    const summary = view.report.summary;
    const box = byId("charts");
    box.hidden = !summary || !summary.rows || summary.rows.length === 0;
    if (box.hidden) return;
    drawSummaryCharts([{ name: view.report.file, summary }], "chart-convergence", "chart-objective");
  }

  // ---- History of a variable or an equation (served).

  // "Initial Conditions" or the major iteration's number.
  function historyLabel(row) {
    return String(row.iteration);
  }

  function historyTable(history) {
    const table = byId("history-table");
    const head = element("thead");
    const headRow = element("tr");
    headRow.append(element("th", "", "Iteration"));
    for (const column of history.columns) headRow.append(element("th", "", column));
    head.append(headRow);
    const body = element("tbody");
    for (const row of history.rows) {
      const tableRow = element("tr");
      tableRow.dataset.line = String(row.line);
      tableRow.append(element("td", "", historyLabel(row)));
      for (const column of history.columns) {
        const value = row.values[column];
        tableRow.append(element("td", "", cellText(value)));
      }
      body.append(tableRow);
    }
    table.replaceChildren(head, body);
  }

  function historyChart(history) {
    const labels = history.rows.map(historyLabel);
    const numeric = history.columns.filter((column) =>
      history.rows.some((row) => typeof row.values[column] === "number"));
    const datasets = numeric.map((column, index) =>
      lineDataset(column, history.rows.map((row) => numberOrNull(row.values[column], false)), index));
    drawChart("chart-history", `${history.name} (${history.kind})`, "Iteration", labels, datasets, false);
  }

  async function showHistory(name, kind) {
    if (!view.source.history) return;
    const section = byId("history");
    section.hidden = false;
    byId("history-heading").textContent = `History of ${name}\u2026`;
    try {
      const history = await view.source.history(name, kind);
      byId("history-heading").textContent = `History of ${history.name} (${history.kind})`;
      historyTable(history);
      historyChart(history);
      drawSoon(true);
    } catch (error) {
      byId("history-heading").textContent = `No history of ${name}: ${error.message || error}`;
      byId("history-table").replaceChildren();
      if (charts.has("chart-history")) charts.get("chart-history").destroy();
      charts.delete("chart-history");
    }
  }

  function onHistoryTableClick(event) {
    const row = event.target.closest("tr[data-line]");
    if (row) goToLine(Number(row.dataset.line));
  }

  // ---- Showing a report.

  function showReportNotices(report) {
    const open = view.regions.filter((region) => region.end >= report.lineCount).length;
    const banner = byId("ended-early");
    banner.hidden = !report.endedEarly;
    if (report.endedEarly) {
      banner.textContent = `This report ended early: ${open} ${open === 1 ? "region was" : "regions were"} ` +
        "still open at the end of the file, so the run may have stopped before its report was finished.";
    }
    const strays = report.strayEnds || [];
    byId("stray-ends").hidden = strays.length === 0;
    if (strays.length) {
      const shown = strays.slice(0, 10).map((line) => line + 1).join(", ");
      showNotice("stray-ends", `${strays.length} #endregion ${strays.length === 1 ? "line has" : "lines have"} no ` +
        `region to close and ${strays.length === 1 ? "is" : "are"} shown as text (line ${shown}` +
        `${strays.length > 10 ? ", \u2026" : ""}).`);
    }
  }

  function adoptReport(report, keepOpen) {
    const previousOpen = keepOpen ? view.open : null;
    view.report = report;
    view.regions = report.regions || [];
    view.topRegions = [];
    view.startRegion = new Map();
    view.regions.forEach((region, id) => {
      if (region.parent < 0) view.topRegions.push(id);
      view.startRegion.set(region.line, id);
    });
    view.open = new Uint8Array(view.regions.length);
    view.regions.forEach((region, id) => {
      const kept = previousOpen && id < previousOpen.length;
      view.open[id] = kept ? previousOpen[id] : Number(openByDefault(region));
    });
    document.title = `${report.file} \u2013 tarnview`;
    byId("file-name").textContent = report.file;
    byId("file-name").title = Object.entries(report.header || {}).map(([key, value]) => `${key}: ${value}`).join("\n");
    if (!view.regions.length) outlineTree.replaceChildren(element("li", "count", "No regions in this report"));
    else buildOutline();
    showReportNotices(report);
    buildRows();
    draw(true);
    showSummaryCharts();
  }

  function readLineHeight() {
    const value = parseFloat(getComputedStyle(documentBox).getPropertyValue("--line-height"));
    view.lineHeight = Number.isFinite(value) && value > 0 ? value : 18;
  }

  async function showReport(source) {
    view.source = source;
    view.store = lineStore(source, () => drawSoon(true));
    view.currentLine = -1;
    byId("history").hidden = true;
    const report = await source.outline();
    adoptReport(report, false);
    performance.mark("outline-shown");
  }

  // ---- Served: several reports, compare, reload.

  const served = { token: "", reports: [], version: null, pollTimer: 0, outlines: new Map() };

  function reportName(id) {
    const report = served.reports.find((entry) => entry.id === id);
    return report ? report.file : `report ${id}`;
  }

  async function outlineOf(id) {
    if (!served.outlines.has(id)) served.outlines.set(id, await fetchJson(served.token, `/api/reports/${id}/outline`));
    return served.outlines.get(id);
  }

  function option(value, text) {
    const node = element("option", "", text);
    node.value = String(value);
    return node;
  }

  function fillReportChoices() {
    const select = byId("report-select");
    select.replaceChildren(...served.reports.map((report) => option(report.id, report.file)));
    byId("report-choice").hidden = served.reports.length < 2;
    byId("views").hidden = served.reports.length < 2;
    const boxes = byId("compare-reports");
    boxes.replaceChildren(element("legend", "", "Reports overlaid"));
    for (const report of served.reports) {
      const label = element("label");
      const box = element("input");
      box.type = "checkbox";
      box.checked = true;
      box.value = String(report.id);
      label.append(box, ` ${report.file}`);
      boxes.append(label);
    }
    for (const [selectId, index] of [["compare-a", 0], ["compare-b", 1]]) {
      const pair = byId(selectId);
      pair.replaceChildren(...served.reports.map((report) => option(report.id, report.file)));
      if (served.reports[index]) pair.value = String(served.reports[index].id);
    }
  }

  function differencesTable(comparison) {
    const differences = comparison.differences || [];
    const table = byId("differences");
    const head = element("thead");
    const headRow = element("tr");
    for (const title of ["Name", "Kind", "Column", `A: ${reportName(Number(byId("compare-a").value))}`,
      `B: ${reportName(Number(byId("compare-b").value))}`, "B \u2212 A"]) headRow.append(element("th", "", title));
    head.append(headRow);
    const body = element("tbody");
    for (const difference of differences) {
      const row = element("tr");
      for (const value of [difference.name, difference.kind, difference.column, difference.a, difference.b,
        difference.difference]) {
        row.append(element("td", "", cellText(value)));
      }
      body.append(row);
    }
    table.replaceChildren(head, body);
    const count = comparison.differenceCount ?? differences.length;
    const listed = count > differences.length
      ? `${count} names differ in their final value; the ${differences.length} that differ most, largest first.`
      : `${count} ${count === 1 ? "name differs in its" : "names differ in their"} final value, largest first.`;
    const [runA, runB] = comparison.runs || [];
    byId("differences-status").textContent = comparison.sameModel === false && runA && runB
      ? `These are runs of different models (${runA.model || "no name"} and ${runB.model || "no name"}): ` +
        `only the ${comparison.namesCompared} names they share are compared. ${listed}`
      : listed;
  }

  async function drawComparison() {
    const chosen = [...byId("compare-reports").querySelectorAll("input:checked")].map((box) => Number(box.value));
    try {
      if (chosen.length) {
        const runs = await Promise.all(chosen.map(async (id) => ({ name: reportName(id), summary: (await outlineOf(id)).summary })));
        drawSummaryCharts(runs, "chart-compare-convergence", "chart-compare-objective");
      }
      const a = byId("compare-a").value;
      const b = byId("compare-b").value;
      byId("differences-status").textContent = "Comparing\u2026";
      const comparison = await fetchJson(served.token, "/api/compare", { a, b, limit: DIFFERENCES_SHOWN });
      differencesTable(comparison);
    } catch (error) {
      byId("differences-status").textContent = String(error.message || error);
    }
  }

  function showView(name) {
    const comparing = name === "compare";
    byId("report-view").hidden = comparing;
    byId("compare-view").hidden = !comparing;
    byId("show-report").setAttribute("aria-pressed", String(!comparing));
    byId("show-compare").setAttribute("aria-pressed", String(comparing));
    if (comparing) drawComparison();
    else drawSoon(true);
  }

  async function pollVersion() {
    const source = view.source;
    try {
      const version = await source.version();
      if (source !== view.source) return;
      if (served.version !== null && version !== served.version) {
        served.outlines.delete(source.id);
        const report = await source.outline();
        if (source !== view.source) return;
        view.store.forget();
        adoptReport(report, true);
        showNotice("reloaded", `${report.file} was written again and has been reloaded ` +
          `(${new Date().toLocaleTimeString()}).`);
      }
      served.version = version;
    } catch (error) {
      if (source === view.source) showFailure(error);
    }
    // One poll at a time, for the report on screen only.
    if (source === view.source) served.pollTimer = window.setTimeout(pollVersion, VERSION_POLL_MS);
  }

  async function openServedReport(id) {
    window.clearTimeout(served.pollTimer);
    served.version = null;
    const url = new URL(window.location.href);
    url.searchParams.set("report", String(id));
    window.history.replaceState(null, "", url);
    byId("report-select").value = String(id);
    byId("reloaded").hidden = true;
    await showReport(servedSource(served.token, id));
    runSearch("", 0);
    byId("search").value = "";
    pollVersion();
  }

  async function startServed() {
    const parameters = new URLSearchParams(window.location.search);
    served.token = parameters.get("token") || "";
    if (!served.token) throw new Error("This page has no report: open the address that tarnview serve printed, " +
      "or write a page with tarnview html.");
    served.reports = await fetchJson(served.token, "/api/reports");
    if (!served.reports.length) throw new Error("The server has no report.");
    fillReportChoices();
    const asked = Number(parameters.get("report"));
    const known = served.reports.some((report) => report.id === asked);
    await openServedReport(known ? asked : served.reports[0].id);
  }

  function startEmbedded(dataElement) {
    const data = JSON.parse(dataElement.textContent);
    return showReport(embeddedSource(data, regionOfLine));
  }

  function listen() {
    documentBox.addEventListener("scroll", () => drawSoon(false), { passive: true });
    window.addEventListener("resize", () => drawSoon(true));
    rowsBox.addEventListener("click", onRowClick);
    outlineTree.addEventListener("click", onTreeClick);
    outlineTree.addEventListener("keydown", onTreeKey);
    byId("search").addEventListener("input", onSearchInput);
    byId("search").addEventListener("keydown", onSearchKey);
    byId("hits").addEventListener("click", onHitClick);
    byId("more-hits").addEventListener("click", () => runSearch(search.query, search.next));
    byId("search-history").addEventListener("click", (event) => {
      const button = event.target.closest("button");
      if (button) showHistory(button.dataset.name, button.dataset.kind);
    });
    byId("close-history").addEventListener("click", () => {
      byId("history").hidden = true;
      drawSoon(true);
    });
    byId("history-table").addEventListener("click", onHistoryTableClick);
    byId("show-report").addEventListener("click", () => showView("report"));
    byId("show-compare").addEventListener("click", () => showView("compare"));
    byId("report-select").addEventListener("change", (event) => openServedReport(Number(event.target.value)).catch(showFailure));
    byId("compare-reports").addEventListener("change", drawComparison);
    byId("compare-a").addEventListener("change", drawComparison);
    byId("compare-b").addEventListener("change", drawComparison);
    window.matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
      colourCache.clear();
      if (!view.report) return;
      drawSoon(true);
      showSummaryCharts();
    });
  }

  function start() {
    readLineHeight();
    listen();
    const dataElement = byId("report-data");
    const started = dataElement ? startEmbedded(dataElement) : startServed();
    started.catch(showFailure);
  }

  start();
})();
