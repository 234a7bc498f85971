/* A run followed as it goes (served): its state, the iteration summary
   table and the convergence and objective charts, growing as the server
   reads new iterations from the run's progress.  It asks only while the
   page is visible, one request at a time; when the run's report appears,
   it hands over to the report at the iteration the reader was looking at. */
"use strict";

tarnview.define("liverun", ["dom", "charts", "runs", "source", "poll"], (dom, charts, runs, source, poll) => {
  const POLL_MS = 300;       // between two requests for new iterations
  const RETRY_MS = 2000;     // after a request failed
  const { byId, element } = dom;

  // `served.token`; `hooks.openReport(reportId, majorIteration or null)`.
  function liveRunView(served, hooks) {
    const state = { id: null, run: null, iterations: [], selected: null, rendered: 0 };
    const table = () => byId("run-iterations");
    const tableBox = () => byId("run-table-box");

    function tableHead() {
      const row = element("tr");
      for (const column of runs.progressSummary([]).columns) row.append(element("th", "", column));
      const head = element("thead");
      head.append(row);
      table().replaceChildren(head, element("tbody"));
    }

    // The view empty, for the run `id` (`run`: which of its base's runs, once known).
    function clear(id, run) {
      Object.assign(state, { id, run, iterations: [], selected: null, rendered: 0 });
      byId("run-state").textContent = "reading the run\u2026";
      byId("run-facts").textContent = "";
      tableHead();
      charts.forget("chart-run-convergence");
      charts.forget("chart-run-objective");
      byId("run-charts").hidden = true;
    }

    function open(id) {
      clear(id, null);
      byId("run-name").textContent = `Run ${id}`;
      poller.start();
    }

    function close() {
      poller.stop();
      state.id = null;
    }

    // The iteration the reader looks at: the one chosen, else, when the
    // table was scrolled away from its end, the one at its top; else none.
    function placeLooked() {
      if (state.selected !== null) return state.selected;
      const box = tableBox();
      if (atEnd(box)) return null;
      const top = box.getBoundingClientRect().top + table().tHead.offsetHeight;
      const rows = [...table().tBodies[0].rows];
      const first = rows.find((row) => row.getBoundingClientRect().bottom > top);
      return first ? Number(first.dataset.iteration) : null;
    }

    const atEnd = (box) => box.scrollHeight - box.scrollTop - box.clientHeight < 4;

    function select(major) {
      state.selected = major;
      for (const row of table().tBodies[0].rows) row.setAttribute("aria-selected", String(Number(row.dataset.iteration) === major));
      const chosen = table().querySelector('tr[aria-selected="true"]');
      if (chosen) chosen.scrollIntoView({ block: "nearest" });
    }

    function tableRow(cells) {
      const row = element("tr");
      row.dataset.iteration = String(cells[0]);
      row.setAttribute("aria-selected", String(cells[0] === state.selected));
      for (const cell of cells) row.append(element("td", "", charts.cellText(cell)));
      return row;
    }

    // The rows not yet in the table; all of them again when an iteration
    // already shown was read anew.
    function showRows(replaced) {
      const body = table().tBodies[0];
      if (replaced) {
        body.replaceChildren();
        state.rendered = 0;
      }
      const box = tableBox();
      const following = atEnd(box);
      const rows = runs.progressSummary(state.iterations.slice(state.rendered)).rows;
      body.append(...rows.map(tableRow));
      state.rendered = state.iterations.length;
      if (following) box.scrollTop = box.scrollHeight;
    }

    function showCharts(name) {
      const summary = runs.progressSummary(state.iterations);
      byId("run-charts").hidden = summary.rows.length === 0;
      if (summary.rows.length) {
        charts.drawSummaryCharts([{ name, summary }], "chart-run-convergence", "chart-run-objective",
          { onPoint: (label) => select(Number(label)) });
      }
    }

    function showAnswer(answer) {
      const name = String(answer.name || "");
      byId("run-name").textContent = name;
      document.title = `${name} \u2013 tarnview`;
      byId("run-state").textContent = String(answer.state || "");
      byId("run-state").dataset.state = String(answer.state || "");
      const facts = [answer.model && `model ${answer.model}`, answer.started && `started ${answer.started}`,
        Number.isInteger(answer.variables) && `${answer.variables} variables`,
        Number.isInteger(answer.equations) && `${answer.equations} equations`];
      byId("run-facts").textContent = facts.filter(Boolean).join(" \u00b7 ");
      const arriving = Array.isArray(answer.iterations) ? answer.iterations : [];
      if (!arriving.length) return;
      const before = state.iterations;
      state.iterations = runs.mergeIterations(before, arriving);
      const replaced = arriving.some((item) => before.some((held) => held.iter === item.iter));
      showRows(replaced);
      showCharts(name);
    }

    // One request for the iterations after those held; the delay before
    // the next (at once when the run shown changed meanwhile), or null.
    async function askProgress() {
      const id = state.id;
      try {
        const answer = await source.fetchJson(served.token, `/api/runs/${id}/progress`, { since: runs.nextIter(state.iterations) });
        if (id !== state.id) return 0;
        // A new run under the same base: the view starts over with it.
        const run = runs.runOf(answer);
        if (state.run !== null && run !== state.run) {
          clear(id, run);
          return 0;
        }
        state.run = run;
        showAnswer(answer);
        if (!performance.getEntriesByName("run-shown").length) performance.mark("run-shown");
        if (answer.report === null || answer.report === undefined) return POLL_MS;
        const looked = placeLooked();
        close();
        hooks.openReport(answer.report, looked);
        return null;
      } catch (error) {
        if (id !== state.id) return 0;
        // A run the server does not follow stays unknown: ids never change meaning.
        const known = error.status !== 404;
        byId("run-state").textContent = known ? `not read: ${dom.messageOf(error)} (asking again)`
          : `The server follows no run ${id}.`;
        return known ? RETRY_MS : null;
      }
    }
    const poller = poll.poller(askProgress);

    // The keys of the table: the iteration before or after the one chosen
    // (the last when none is), the first, the last.
    const STEPS = { ArrowUp: -1, ArrowDown: 1, Home: -Infinity, End: Infinity };
    function onTableKey(event) {
      const step = STEPS[event.key];
      const rows = [...table().tBodies[0].rows].map((row) => Number(row.dataset.iteration));
      if (step === undefined || !rows.length || event.ctrlKey || event.altKey || event.metaKey) return;
      event.preventDefault();
      const at = state.selected === null ? rows.length - 1 : rows.indexOf(state.selected);
      const next = Number.isFinite(step) ? Math.min(Math.max(at + step, 0), rows.length - 1) : step < 0 ? 0 : rows.length - 1;
      select(rows[next]);
    }

    function start() {
      table().addEventListener("click", (event) => {
        const row = event.target.closest("tr[data-iteration]");
        if (row) select(Number(row.dataset.iteration));
      });
      tableBox().addEventListener("keydown", onTableKey);
    }

    return { start, open, close, shown: () => state.id };
  }

  return { liveRunView };
});
