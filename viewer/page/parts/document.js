/* The report's text: rows of one height, only those near the screen in the
   DOM, whatever the size of the report.  A line longer than LONG_LINE is
   shown cut short, with a button that shows more of it. */
"use strict";

tarnview.define("document", ["dom", "theme", "source"], (dom, theme, source) => {
  const OVERSCAN_ROWS = 40;          // rows drawn above and below the screen
  const SIZER_LIMIT_PX = 15000000;   // beyond this the scroll range is scaled (browsers stop near 33M)
  const LONG_LINE = 10000;           // characters of a line shown at first
  const LONGEST_SHOWN = 1000000;     // characters of a line "Show more" goes up to
  const { element } = dom;

  // The characters of a line of `length` shown after `clicks` clicks of "Show more".
  function shownLength(length, clicks) {
    return Math.min(length, LONGEST_SHOWN, LONG_LINE * 10 ** clicks);
  }

  // `view` is the page's state: view.model (the region model), view.store
  // (the lines), view.source; `hooks.openName(name, kind)` opens a name's
  // history, `hooks.goToIteration(k)` goes to an iteration's block.
  function documentView(view, hooks) {
    const box = dom.byId("document");
    const rowsBox = dom.byId("document-rows");
    const sizer = dom.byId("document-sizer");
    const state = { drawn: { first: -1, last: -1 }, currentLine: -1, lineHeight: 18, longClicks: new Map(), focusedAtPress: false };

    function readLineHeight() {
      const value = parseFloat(getComputedStyle(box).getPropertyValue("--line-height"));
      state.lineHeight = Number.isFinite(value) && value > 0 ? value : 18;
    }

    function scrollGeometry() {
      const contentHeight = view.model.rowCount * state.lineHeight;
      const sizerHeight = Math.min(contentHeight, SIZER_LIMIT_PX);
      const viewport = box.clientHeight;
      const scrollRange = Math.max(sizerHeight - viewport, 0);
      const contentRange = Math.max(contentHeight - viewport, 0);
      return { sizerHeight, viewport, ratio: scrollRange > 0 ? contentRange / scrollRange : 1 };
    }

    // The first column of a table row, in a served report: the name it is the row of.
    // A table row's name, as the reader read it, where the row starts with it.
    function rowName(content, text) {
      const name = source.lineRowName(content);
      return view.source.served && name && text.startsWith(name) ? name : "";
    }

    function regionStartRow(row, id) {
      const region = view.model.regions[id];
      const open = view.model.open[id];
      row.classList.add("start");
      row.dataset.region = String(id);
      const title = element("span", "text", region.title);
      theme.paint(title, region.colour);
      row.append(element("span", "fold", open ? "\u25be" : "\u25b8"), title);
      if (!open) row.append(element("span", "folded", `${region.lineCount} lines`));
    }

    function regionEndRow(row, id) {
      row.classList.add("end");
      row.append(element("span", "lead"), element("span", "text", `end of ${view.model.regions[id].title}`));
    }

    // `bytesInAll`: the whole line's bytes when only its first piece is here.
    function appendLongText(row, line, text, colour, bytesInAll) {
      const clicks = state.longClicks.get(line) || 0;
      const shown = shownLength(text.length, clicks);
      const part = element("span", "text", text.slice(0, shown));
      theme.paint(part, colour);
      row.append(part);
      if (shown === text.length && bytesInAll === null) return;
      const rest = bytesInAll === null ? `${(text.length - shown).toLocaleString("en-US")} more characters`
        : `${(bytesInAll - new TextEncoder().encode(text.slice(0, shown)).length).toLocaleString("en-US")} more bytes`;
      const more = shown < Math.min(LONGEST_SHOWN, text.length) ? dom.button(`\u2026 ${rest}: show more`, "more")
        : element("span", "more", `\u2026 ${rest} not shown`);
      more.dataset.more = String(line);
      row.append(more);
    }

    // A line's text with its names and iteration numbers as links.
    function appendLinks(row, text, spans, colour) {
      let at = 0;
      const appendText = (part, className) => {
        const node = element("span", className, part);
        theme.paint(node, colour);
        row.append(node);
        return node;
      };
      for (const span of spans) {
        if (span.begin < at || span.end > text.length || span.end <= span.begin) continue;
        if (span.begin > at) appendText(text.slice(at, span.begin), "text");
        const shown = text.slice(span.begin, span.end);
        const link = appendText(shown, "text name");
        if (span.kind === "iteration") {
          link.dataset.iteration = String(span.iteration);
          link.title = span.iteration < 0 ? "The initial conditions" : `Iteration ${span.iteration}`;
        } else {
          link.dataset.name = shown;
          if (span.kind !== "both") link.dataset.kind = span.kind;
          link.title = `History of ${shown}`;
        }
        at = span.end;
      }
      if (at < text.length) appendText(text.slice(at), "text");
    }

    function textRow(row, line, content) {
      row.append(element("span", "lead"));
      if (!content) {
        row.classList.add("pending");
        row.append(element("span", "text", "\u2026"));
        return;
      }
      const kind = source.lineKind(content);
      const colour = source.lineColour(content);
      let text = source.lineText(content);
      if (kind === "x") row.classList.add("stray");
      const spans = text.length <= LONG_LINE ? source.lineSpans(content) : [];
      if (spans.length) {
        appendLinks(row, text, spans, colour);
        return;
      }
      const name = text.length <= LONG_LINE ? rowName(content, text) : "";
      if (name) {
        const link = element("span", "text name", name);
        link.title = `History of ${name}`;
        link.dataset.name = name;
        link.dataset.kind = source.lineRowKind(content);
        theme.paint(link, colour);
        row.append(link);
        text = text.slice(name.length);
      }
      appendLongText(row, line, text, colour, source.lineBytesInAll(content));
    }

    function rowElement(line) {
      const row = element("div", "row");
      row.dataset.line = String(line);
      if (line === state.currentLine) row.classList.add("current");
      row.append(element("span", "number", String(line + 1)));
      const start = view.model.startRegion.get(line);
      const end = view.model.endRegion.get(line);
      if (start !== undefined) regionStartRow(row, start);
      else if (end !== undefined) regionEndRow(row, end);
      else textRow(row, line, view.store.get(line));
      return row;
    }

    function draw(force) {
      if (!view.model) return;
      const { viewport, ratio } = scrollGeometry();
      const contentTop = box.scrollTop * ratio;
      const first = Math.max(0, Math.floor(contentTop / state.lineHeight) - OVERSCAN_ROWS);
      const last = Math.min(view.model.rowCount, Math.ceil((contentTop + viewport) / state.lineHeight) + OVERSCAN_ROWS);
      rowsBox.style.transform = `translateY(${box.scrollTop + first * state.lineHeight - contentTop}px)`;
      if (!force && first === state.drawn.first && last === state.drawn.last) return;
      const fragment = document.createDocumentFragment();
      for (let row = first; row < last; ++row) fragment.append(rowElement(view.model.lineOfRow(row)));
      rowsBox.replaceChildren(fragment);
      state.drawn = { first, last };
    }

    let drawPending = false;
    function drawSoon(force) {
      if (force) state.drawn = { first: -1, last: -1 };
      if (drawPending) return;
      drawPending = true;
      window.requestAnimationFrame(() => {
        drawPending = false;
        draw(false);
      });
    }

    // The rows changed (regions opened or closed, a new report): the scroll
    // range follows at once, so that a scroll to a new row is not cut short.
    function rowsChanged() {
      sizer.style.height = `${scrollGeometry().sizerHeight}px`;
      const digits = String(Math.max(view.model.lineCount, 1)).length;
      box.style.setProperty("--number-width", `${Math.max(digits, 4) + 1}ch`);
    }

    // Puts `row` at `offset` pixels below the top of the text's box.
    function scrollToRow(row, offset) {
      const { ratio } = scrollGeometry();
      box.scrollTop = Math.max(0, (row * state.lineHeight - offset) / ratio);
    }

    function rowOffset(row) {
      return row * state.lineHeight - box.scrollTop * scrollGeometry().ratio;
    }

    // Where the reader is: the line at the top of the text and how far it is scrolled past.
    function place() {
      if (!view.model || !view.model.rowCount) return { line: 0, offset: 0, current: state.currentLine };
      const row = Math.min(Math.floor(box.scrollTop * scrollGeometry().ratio / state.lineHeight), view.model.rowCount - 1);
      return { line: view.model.lineOfRow(row), offset: rowOffset(row), current: state.currentLine };
    }

    function restorePlace(where) {
      view.model.openAround(where.line);
      rowsChanged();
      state.currentLine = where.current;
      const row = view.model.rowOfLine(where.line);
      if (row >= 0) scrollToRow(row, where.offset);
      draw(true);
      return view.model;
    }

    // Runs `change` (which may move the text's box, as a panel opening above
    // it does) and keeps the same line at the same place on screen.
    function keepPlace(change) {
      const where = place();
      const result = change();
      restorePlace(where);
      return result;
    }

    // Opens every region around the line and puts it in the middle of the
    // screen: the ids of the regions opened.
    function goToLine(line) {
      const opened = view.model.openAround(line);
      rowsChanged();
      state.currentLine = line;
      const row = view.model.rowOfLine(line);
      if (row >= 0) scrollToRow(row, box.clientHeight / 2 - state.lineHeight);
      draw(true);
      return opened;
    }

    // Opens or closes a region, keeping its title where it is on screen.
    function toggleRegion(id, open) {
      const wanted = open === undefined ? !view.model.open[id] : open;
      if (Boolean(view.model.open[id]) === wanted) return false;
      const line = view.model.regions[id].line;
      const startRow = view.model.rowOfLine(line);
      const offset = startRow >= 0 ? rowOffset(startRow) : 0;
      view.model.setOpen(id, wanted);
      rowsChanged();
      const newRow = view.model.rowOfLine(line);
      if (startRow >= 0 && newRow >= 0) scrollToRow(newRow, offset);
      drawSoon(true);
      return true;
    }

    function onClick(event) {
      const row = event.target.closest(".row");
      if (!row) return;
      const more = event.target.closest("button[data-more]");
      if (more) {
        const line = Number(more.dataset.more);
        state.longClicks.set(line, (state.longClicks.get(line) || 0) + 1);
        drawSoon(true);
        return;
      }
      // A region's title folds it, unless the click is the one that put the
      // keys in the report; its arrow always does.
      const folds = event.target.closest(".fold") || (event.target.closest(".text") && state.focusedAtPress);
      if (row.dataset.region !== undefined && folds) {
        hooks.toggled(Number(row.dataset.region), toggleRegion(Number(row.dataset.region)));
        return;
      }
      const name = event.target.closest("[data-name]");
      if (name) hooks.openName(name.dataset.name, name.dataset.kind);
      const iteration = event.target.closest("[data-iteration]");
      if (iteration) hooks.goToIteration(Number(iteration.dataset.iteration));
    }

    function start() {
      readLineHeight();
      box.addEventListener("scroll", () => drawSoon(false), { passive: true });
      window.addEventListener("resize", () => drawSoon(true));
      rowsBox.addEventListener("click", onClick);
      box.addEventListener("mousedown", () => { state.focusedAtPress = box.contains(document.activeElement); }, { capture: true });
    }

    // Makes a shown line the current one, in the middle of the screen,
    // opening nothing: false when it is inside a closed region.
    function centreLine(line) {
      const row = view.model.rowOfLine(line);
      if (row < 0) return false;
      state.currentLine = line;
      scrollToRow(row, box.clientHeight / 2 - state.lineHeight);
      draw(true);
      return true;
    }

    // A new report: its first line at the top.
    function toTop() {
      box.scrollTop = 0;
      state.longClicks.clear();
    }

    return {
      start, draw, drawSoon, rowsChanged, goToLine, toggleRegion, place, restorePlace, keepPlace, centreLine, toTop,
      currentLine: () => state.currentLine,
      setCurrentLine: (line) => { state.currentLine = line; },
      focus: () => box.focus({ preventScroll: true }),
    };
  }

  return { documentView, shownLength, LONG_LINE, LONGEST_SHOWN };
});
