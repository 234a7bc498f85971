/* A folder of runs as one live table (served): every run and report the
   server follows, sortable by each column, filtered by text and state,
   each row opening its run's live view or its report.  Only the rows near
   the screen are in the page (every row has one height; a spacer above and
   below stands for the others), so a study of thousands of runs draws as
   fast as a few.  It asks the server only for what changed
   (/api/runs?since=G), only while it is on screen and the page is visible. */
"use strict";

tarnview.define("folder", ["dom", "charts", "runs", "source", "poll"], (dom, charts, runs, source, poll) => {
  const POLL_MS = 400;
  const RETRY_MS = 2000;
  const OVERSCAN_ROWS = 30;      // rows drawn above and below the screen
  const COLUMNS = runs.RUN_COLUMNS.length;
  const { byId, element } = dom;

  // `served.token`; `hooks.openRun(id)`, `hooks.openReport(reportId)`.
  function folderView(served, hooks) {
    const state = {
      shown: false, rows: [], listed: [], generation: null, sortKey: "name", descending: false,
      drawn: false, rowHeight: 0, range: null, frame: 0, statesListed: "", headDrawn: "",
    };
    const box = () => byId("runs-table").parentElement;

    // A row's link: to its report when it has one, else to its live view.
    function runLink(run) {
      const link = element("a", "run-link", run.name);
      if (run.report !== null && run.report !== undefined) {
        const url = new URL(window.location.href);
        url.searchParams.set("report", String(run.report));
        url.hash = "";
        link.href = url.href;
        link.dataset.report = String(run.report);
      } else {
        link.href = runs.hashOf({ run: run.id });
        link.dataset.run = String(run.id);
      }
      return link;
    }

    function runRow(run) {
      const row = element("tr");
      row.dataset.id = String(run.id);
      const name = element("td");
      name.append(runLink(run));
      row.append(name, element("td", "state", runs.stateText(run)),
        element("td", "", run.iterations === null || run.iterations === undefined ? "" : String(run.iterations)),
        element("td", "", charts.cellText(run.objective)), element("td", "", charts.cellText(run.infeasibility)),
        element("td", "", runs.sizeText(run.reportSize)), element("td", "", runs.changedText(run.changed)));
      return row;
    }

    function drawHead() {
      const row = element("tr");
      for (const [key, heading] of runs.RUN_COLUMNS) {
        const cell = element("th");
        const sorted = key === state.sortKey;
        cell.setAttribute("aria-sort", sorted ? (state.descending ? "descending" : "ascending") : "none");
        const button = dom.button(`${heading}${sorted ? (state.descending ? " \u25be" : " \u25b4") : ""}`, "sort");
        button.dataset.key = key;
        button.title = `Sort by ${heading.toLowerCase()}`;
        cell.append(button);
        row.append(cell);
      }
      const head = element("thead");
      head.append(row);
      return head;
    }

    // The states to filter by: those of the runs, the one chosen kept;
    // the list is made anew only when they change (not under an open choice).
    function fillStates() {
      const select = byId("runs-state");
      const chosen = select.value;
      const states = runs.statesOf(state.rows);
      if (chosen && !states.includes(chosen)) states.push(chosen);
      if (JSON.stringify(states) === state.statesListed) return;
      state.statesListed = JSON.stringify(states);
      const options = [["", "any state"], ...states.map((each) => [each, each])].map(([value, text]) => {
        const option = element("option", "", text);
        option.value = value;
        return option;
      });
      select.replaceChildren(...options);
      select.value = chosen;
    }

    function spacer(rows) {
      const row = element("tr", "spacer");
      const cell = element("td");
      cell.colSpan = COLUMNS;
      row.append(cell);
      row.style.height = `${rows * state.rowHeight}px`;
      row.hidden = rows === 0;
      return row;
    }

    // The listed rows from `first` to before `last`, between their spacers.
    function drawRows(first, last) {
      state.range = { first, last };
      byId("runs-table").tBodies[0].replaceChildren(spacer(first), ...state.listed.slice(first, last).map(runRow),
        spacer(state.listed.length - last));
    }

    // The range of rows near the screen, from the scroll position.
    function rangeOnScreen() {
      const height = state.rowHeight || 1;
      const onScreen = Math.ceil(box().clientHeight / height) + 1;
      const first = Math.max(0, Math.floor(box().scrollTop / height) - OVERSCAN_ROWS);
      return { first, last: Math.min(state.listed.length, first + onScreen + 2 * OVERSCAN_ROWS) };
    }

    function drawVisible() {
      state.frame = 0;
      const { first, last } = rangeOnScreen();
      if (!state.range || first !== state.range.first || last !== state.range.last) drawRows(first, last);
    }

    function draw() {
      fillStates();
      state.listed = runs.sortRuns(runs.filterRuns(state.rows, byId("runs-filter").value, byId("runs-state").value),
        state.sortKey, state.descending);
      const table = byId("runs-table");
      if (!table.tBodies.length) table.append(element("thead"), element("tbody"));
      // The headings anew only when the order changes: a heading keeps the focus.
      const order = `${state.sortKey} ${state.descending}`;
      if (state.headDrawn !== order) {
        const focused = table.tHead.contains(document.activeElement) ? document.activeElement.dataset.key : null;
        table.tHead.replaceWith(drawHead());
        state.headDrawn = order;
        if (focused) table.querySelector(`button.sort[data-key="${focused}"]`).focus();
      }
      if (!state.rowHeight && state.listed.length) {
        drawRows(0, 1);
        state.rowHeight = table.tBodies[0].rows[1].getBoundingClientRect().height || 20;
      }
      const { first, last } = rangeOnScreen();
      drawRows(first, last);
      byId("runs-count").textContent = state.listed.length === state.rows.length ? `${state.rows.length} runs`
        : `${state.listed.length} of ${state.rows.length} runs`;
      if (!state.drawn) {
        state.drawn = true;
        performance.mark("runs-shown");
      }
    }

    // An answer of /api/runs: the rows it lists, drawn when on screen.
    function adopt(answer) {
      state.rows = Array.isArray(answer.runs) ? answer.runs : [];
      state.generation = answer.generation;
      if (state.shown) draw();
    }

    // One request for what changed; the delay before the next.
    async function askRuns() {
      try {
        const answer = await source.fetchJson(served.token, "/api/runs", state.generation === null ? {} : { since: state.generation });
        byId("runs-status").hidden = true;
        if (!answer.unchanged) adopt(answer);
        return POLL_MS;
      } catch (error) {
        dom.showNotice("runs-status", `The runs were not read: ${dom.messageOf(error)} (asking again)`);
        return RETRY_MS;
      }
    }
    const poller = poll.poller(askRuns);

    function open() {
      state.shown = true;
      document.title = "Runs \u2013 tarnview";
      if (state.generation !== null) draw();
      poller.start();
    }

    function close() {
      state.shown = false;
      poller.stop();
    }

    function start() {
      byId("runs-table").addEventListener("click", (event) => {
        const sort = event.target.closest("button.sort");
        if (sort) {
          state.descending = sort.dataset.key === state.sortKey ? !state.descending : false;
          state.sortKey = sort.dataset.key;
          draw();
          return;
        }
        const link = event.target.closest("a.run-link");
        if (!link || event.ctrlKey || event.metaKey || event.shiftKey || event.button !== 0) return;
        event.preventDefault();
        if (link.dataset.report !== undefined) hooks.openReport(Number(link.dataset.report));
        else hooks.openRun(Number(link.dataset.run));
      });
      box().addEventListener("scroll", () => {
        if (!state.frame) state.frame = window.requestAnimationFrame(drawVisible);
      });
      byId("runs-filter").addEventListener("input", draw);
      byId("runs-state").addEventListener("change", draw);
    }

    return { start, open, close, adopt };
  }

  return { folderView };
});
