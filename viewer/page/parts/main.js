/* The page put together: one report at a time (embedded, or one of the
   server's), its outline, text, search, charts and history; served, the
   report choice, compare and reloading, and the runs the server follows:
   one run as it goes (#run=ID) and all of them as one table (#runs).  The
   page's own jumps are steps of the browser's history, so Back and Forward
   return to where the reader was. */
"use strict";

tarnview.define("main", ["dom", "theme", "regions", "source", "lines", "document", "outline", "search", "charts",
  "history", "compare", "keys", "facts", "runs", "liverun", "folder"],
(dom, theme, regions, source, lines, documentPart, outlinePart, searchPart, charts, historyPart, comparePart, keysPart,
  factsPart, runs, liverunPart, folderPart) => {
  const VERSION_POLL_MS = 2000;
  const DIAGNOSIS_TITLE = "Infeasibility Diagnosis";   // the region the terminal's D goes to too
  const { byId } = dom;

  const view = { source: null, store: null, model: null };
  const served = { token: "", reports: [], version: null, pollTimer: 0, outlines: new Map(), viewName: "report", hasRuns: false };
  const VIEW_MAINS = { report: "report-view", compare: "compare-view", run: "run-view", runs: "runs-view" };
  const showingReport = () => served.viewName === "report" || served.viewName === "compare";
  served.outlineOf = async (id) => {
    if (!served.outlines.has(id)) served.outlines.set(id, await source.fetchJson(served.token, `/api/reports/${id}/outline`));
    return served.outlines.get(id);
  };

  // The reader's place as a step of the browser's history.
  function pageState() {
    return { place: text.place(), history: history.shown(), report: view.source && view.source.id };
  }

  // Runs a jump as a new step of the browser's history.
  function jump(change) {
    if (!view.model) return undefined;
    window.history.replaceState(pageState(), "");
    const result = change();
    window.history.pushState(pageState(), "");
    return result;
  }

  // The keys go on from where a jump lands: the report's text has the
  // focus, unless the jump came from the outline, whose keys go on there.
  function focusText() {
    if (!byId("outline").contains(document.activeElement)) text.focus();
  }

  function goToLine(line) {
    return jump(() => {
      if (text.goToLine(line).length) outline.refresh();
      outline.reveal(view.model.regionOfLine(line));
      focusText();
    });
  }

  // A name's history; where the page has no histories (tarnview html),
  // the lines that hold it.
  function openName(name, kind) {
    if (!view.source.history) {
      byId("search").value = name;
      search.run(name, 0);
      return;
    }
    jump(() => text.keepPlace(() => history.show(name, kind)));
  }

  function onPopState(event) {
    const state = event.state;
    if (!state || !state.place || !view.model || state.report !== (view.source && view.source.id)) return;
    text.keepPlace(() => (state.history ? history.show(state.history) : history.close()));
    text.restorePlace(state.place);
    outline.refresh();
  }

  const text = documentPart.documentView(view, {
    openName: (name, kind) => openName(name, kind),
    goToIteration: (iteration) => goToIteration(iteration),
    toggled: (_id, changed) => changed && outline.refresh(),
  });
  const outline = outlinePart.outline(view, {
    goToLine,
    toggleRegion: (id, open) => text.toggleRegion(id, open),
  });
  // A chart's point clicked: its iteration's block.
  function goToIteration(label) {
    const iteration = Number(label);
    if (Number.isInteger(iteration)) goTo({ iteration });
  }

  const history = historyPart.historyPanel(view, { goToLine, goToIteration });
  const search = searchPart.searchPanel(view, { goToLine, openName });
  const compare = comparePart.compareView(served);
  const diff = factsPart.diffPanel(view, served, { openName: (name) => openName(name) });

  // The iteration block the line is in (the first one when it is in none).
  function iterationAt(line) {
    const blocks = view.model.report.iterations || [];
    const holding = blocks.filter((block) => {
      const region = view.model.regions[block.region];
      return region.line <= line && line <= region.end;
    });
    return holding.length ? holding.at(-1).iteration : blocks.length ? blocks[0].iteration : null;
  }

  function openDiff() {
    if (!view.source || !view.source.served || !view.model) return;
    const iteration = iterationAt(hereLine());
    if (iteration === null) say("The report has no iteration blocks.");
    else text.keepPlace(() => diff.open(iteration));
  }

  // The facts line of the report on screen, served.
  async function showFacts(shown) {
    byId("facts").hidden = true;
    if (!shown.served) return;
    try {
      const runs = await factsPart.factsOf(served.token, served.reports.map((report) => report.id));
      const run = runs.find((entry) => entry.id === shown.id);
      if (!run || shown !== view.source) return;
      byId("facts").textContent = factsPart.factsText(run.facts);
      byId("facts").hidden = false;
    } catch (error) {
      dom.showFailure(error);
    }
  }

  // The line the keys start from: the current line when it is on screen, else the top one.
  const hereLine = () => (text.currentLine() >= 0 ? text.currentLine() : text.place().line);

  function goTo(asked) {
    if (asked.line !== undefined) {
      if (asked.line >= view.model.lineCount) return `The report has ${view.model.lineCount} lines.`;
      goToLine(asked.line);
      return "";
    }
    const block = (view.model.report.iterations || []).find((entry) => entry.iteration === asked.iteration);
    if (!block) return `The report has no iteration ${asked.iteration}.`;
    goToLine(view.model.regions[block.region].line);
    return "";
  }

  function say(message) {
    dom.showNotice("key-message", message);
  }

  // The fold keys, on the region at the current line.
  function fold(how) {
    if (!view.model) return;
    const model = view.model;
    if (how === "open all" || how === "close all") {
      const line = hereLine();
      model.setAllOpen(how === "open all");
      text.rowsChanged();
      const top = model.outermost(model.regionOfLine(line));
      text.centreLine(how === "open all" || top < 0 ? line : model.regions[top].line);
      outline.refresh();
      return;
    }
    const id = model.regionOfLine(hereLine());
    if (id < 0) return;
    const open = how === "toggle" ? !model.open[id] : how === "open";
    if (!open) text.setCurrentLine(model.regions[id].line);
    if (text.toggleRegion(id, open)) outline.refresh();
    text.drawSoon(true);
  }

  // H: the history of the name the current line is the table row of.
  function historyHere() {
    const line = hereLine();
    const content = view.store && view.store.get(line);
    const name = content ? source.lineRowName(content) : "";
    if (!name || !view.source.history) {
      say(name ? `Histories need the page of tarnview serve; search for ${name} instead.`
        : "The current line is no table row of a variable or an equation.");
      return;
    }
    openName(name, source.lineRowKind(content));
  }

  // s and D: the first region that `wanted` picks.
  function goToRegion(wanted, missing) {
    const region = view.model && view.model.regions.find(wanted);
    if (region) goToLine(region.line);
    else say(missing);
  }

  const keys = keysPart.keys({
    fold,
    history: historyHere,
    summary: () => goToRegion((region) => region.kind === "summary", "The report has no iteration summary."),
    diagnosis: () => goToRegion((region) => region.title === DIAGNOSIS_TITLE, "The report has no infeasibility diagnosis."),
    focusText,
    diff: openDiff,
    search: () => { byId("search").focus(); byId("search").select(); },
    step: (direction) => search.step(direction, text.currentLine()),
    iteration: (direction) => {
      const line = view.model && view.model.iterationNear(hereLine(), direction);
      if (line !== null && line !== undefined) goToLine(line);
    },
    goTo,
    active: showingReport,
  });

  function showReportNotices(report) {
    const open = view.model.regions.filter((region) => region.end >= report.lineCount).length;
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
      dom.showNotice("stray-ends", `${strays.length} #endregion ${strays.length === 1 ? "line has" : "lines have"} no ` +
        `region to close and ${strays.length === 1 ? "is" : "are"} shown as text (line ${shown}` +
        `${strays.length > 10 ? ", \u2026" : ""}).`);
    }
  }

  function showSummaryCharts() {
    const summary = view.model && view.model.report.summary;
    const none = !summary || !summary.rows || summary.rows.length === 0;
    byId("toggle-charts").hidden = none;
    byId("charts").hidden = none || byId("toggle-charts").getAttribute("aria-pressed") !== "true";
    if (!byId("charts").hidden) charts.drawSummaryCharts([{ name: reportName(view.model.report), summary }], "chart-convergence", "chart-objective",
      { onPoint: goToIteration });
  }

  // The report's name in the page: its file's, with the folders it takes
  // to tell it from the other reports served.
  function reportName(report) {
    const listed = served.reports.find((entry) => view.source && entry.id === view.source.id);
    return listed ? listed.name : report.file;
  }

  function adoptReport(report, keepOpen) {
    view.model = new regions.RegionModel(report, keepOpen && view.model ? view.model.open : null);
    document.title = `${reportName(report)} \u2013 tarnview`;
    byId("file-name").textContent = reportName(report);
    byId("file-name").title = Object.entries(report.header || {}).map(([key, value]) => `${key}: ${value}`).join("\n");
    outline.build();
    showReportNotices(report);
    if (!keepOpen) text.toTop();
    text.rowsChanged();
    text.draw(true);
    showSummaryCharts();
  }

  async function showReport(chosen) {
    view.source = chosen;
    view.store = lines.lineStore(chosen, () => text.drawSoon(true), dom.showFailure);
    text.setCurrentLine(-1);
    history.close();
    byId("diff").hidden = true;
    adoptReport(await chosen.outline(), false);
    showFacts(chosen);
    window.history.replaceState(pageState(), "");
    performance.mark("outline-shown");
  }

  async function pollVersion() {
    const shown = view.source;
    try {
      const version = await shown.version();
      if (shown !== view.source) return;
      if (served.version !== null && version !== served.version) {
        served.outlines.delete(shown.id);
        const report = await shown.outline();
        if (shown !== view.source) return;
        view.store.forget();
        adoptReport(report, true);
        dom.showNotice("reloaded", `${reportName(report)} was written again and has been reloaded ` +
          `(${new Date().toLocaleTimeString()}).`);
      }
      served.version = version;
    } catch (error) {
      if (shown === view.source) dom.showFailure(error);
    }
    // One poll at a time, for the report on screen only.
    if (shown === view.source && showingReport()) served.pollTimer = window.setTimeout(pollVersion, VERSION_POLL_MS);
  }

  async function openServedReport(id) {
    window.clearTimeout(served.pollTimer);
    served.version = null;
    const url = new URL(window.location.href);
    url.searchParams.set("report", String(id));
    url.hash = "";
    window.history.replaceState(null, "", url);
    byId("report-select").value = String(id);
    byId("reloaded").hidden = true;
    await showReport(source.servedSource(served.token, id));
    search.clear();
    pollVersion();
  }

  function showView(name) {
    served.viewName = name;
    document.body.dataset.view = name;
    for (const [each, id] of Object.entries(VIEW_MAINS)) byId(id).hidden = each !== name;
    byId("show-report").setAttribute("aria-pressed", String(name === "report"));
    byId("show-compare").setAttribute("aria-pressed", String(name === "compare"));
    byId("show-runs").setAttribute("aria-pressed", String(name === "runs"));
    if (name !== "run") live.close();
    if (name !== "runs") folder.close();
    if (!showingReport()) window.clearTimeout(served.pollTimer);
    if (name === "compare") compare.draw();
    if (name === "report" && view.model) text.drawSoon(true);
  }

  // The report choice, from the server's reports (their set grows as runs end).
  function fillReportChoice() {
    for (const report of served.reports) report.name = report.name || report.file;
    const select = byId("report-select");
    select.replaceChildren(...served.reports.map((report) => {
      const node = dom.element("option", "", report.name);
      node.value = String(report.id);
      return node;
    }));
    if (view.source && view.source.served) select.value = String(view.source.id);
    byId("report-choice").hidden = served.reports.length < 2;
    byId("views").hidden = served.reports.length < 2;
    compare.fillChoices();
  }

  async function refreshReports() {
    served.reports = await source.fetchJson(served.token, "/api/reports");
    fillReportChoice();
  }

  // A report opened from the runs: the live view's at the iteration the
  // reader was looking at (`major`, null for none), the table's as a new
  // step of the browser's history.
  async function openReportOfRun(reportId, major, newStep) {
    await refreshReports();
    if (newStep) window.history.pushState(null, "", window.location.href);
    showView("report");
    await openServedReport(reportId);
    if (major !== null && major !== undefined && goTo({ iteration: major })) {
      goToRegion((region) => region.kind === "summary", "The report has no iteration summary.");
    }
  }

  function openRuns() {
    showView("runs");
    folder.open();
  }

  function openRun(id) {
    showView("run");
    live.open(id);
  }

  // A place of the runs as a new step of the browser's history.
  function goToPlace(place) {
    const url = new URL(window.location.href);
    url.hash = runs.hashOf(place);
    window.history.pushState(null, "", url);
    followLocation();
  }

  // The view the location asks for, when it is not the one shown: a place
  // of the runs by its hash, else the report of its query.
  function followLocation() {
    const place = served.hasRuns ? runs.placeOfHash(window.location.hash) : null;
    if (place && place.runs) {
      if (served.viewName !== "runs") openRuns();
    } else if (place) {
      if (served.viewName !== "run" || live.shown() !== place.run) openRun(place.run);
    } else if (!showingReport()) {
      const asked = Number(new URLSearchParams(window.location.search).get("report"));
      const known = served.reports.some((report) => report.id === asked);
      if (known) {
        showView("report");
        openServedReport(asked).catch(dom.showFailure);
      }
    }
  }

  const live = liverunPart.liveRunView(served, { openReport: (id, major) => openReportOfRun(id, major, false).catch(dom.showFailure) });
  const folder = folderPart.folderView(served, {
    openRun: (id) => goToPlace({ run: id }),
    openReport: (id) => openReportOfRun(id, null, true).catch(dom.showFailure),
  });

  // The server's list of the runs it follows (none from an older one).
  async function runsAnswer() {
    try {
      const answer = await source.fetchJson(served.token, "/api/runs");
      return Array.isArray(answer.runs) ? answer : null;
    } catch {
      return null;
    }
  }

  async function startServed() {
    const parameters = new URLSearchParams(window.location.search);
    served.token = parameters.get("token") || "";
    if (!served.token) throw new Error("This page has no report: open the address that tarnview serve printed, " +
      "or write a page with tarnview html.");
    const [reports, answer] = await Promise.all([source.fetchJson(served.token, "/api/reports"), runsAnswer()]);
    served.reports = reports;
    const listed = answer ? answer.runs : [];
    served.hasRuns = listed.length > 0;
    if (answer) folder.adopt(answer);
    // The server names each report by as much of its path as tells it from the others.
    fillReportChoice();
    byId("show-diff").hidden = false;
    byId("show-runs").hidden = !served.hasRuns;
    if (served.hasRuns && (runs.placeOfHash(window.location.hash) || !served.reports.length)) {
      // An address without a place: the one run given, else the table.
      const place = listed.length === 1 ? { run: listed[0].id } : { runs: true };
      if (!runs.placeOfHash(window.location.hash)) window.history.replaceState(null, "", runs.hashOf(place));
      followLocation();
      return;
    }
    if (!served.reports.length) throw new Error("The server has no report.");
    showView("report");
    const asked = Number(parameters.get("report"));
    const known = served.reports.some((report) => report.id === asked);
    await openServedReport(known ? asked : served.reports[0].id);
  }

  async function startEmbedded(dataElement) {
    const data = await source.embeddedData(dataElement.textContent);
    const pieces = document.querySelectorAll("script.report-piece");
    return showReport(source.embeddedSource(data, (index) => pieces[index].textContent));
  }

  // The panels that fold away remember it.
  function foldable(buttonId, key, fallback, onChange) {
    const button = byId(buttonId);
    const set = (open) => {
      button.setAttribute("aria-pressed", String(open));
      dom.remembered.set(key, open);
      onChange();
    };
    button.addEventListener("click", () => text.keepPlace(() => set(button.getAttribute("aria-pressed") !== "true")));
    button.setAttribute("aria-pressed", String(dom.remembered.get(key, String(fallback)) === "true"));
  }

  function listen() {
    text.start();
    outline.start();
    search.start();
    history.start();
    compare.start();
    diff.start();
    live.start();
    folder.start();
    byId("show-diff").addEventListener("click", openDiff);
    keys.start();
    theme.onChange(() => {
      if (!view.model) return;
      text.drawSoon(true);
      showSummaryCharts();
    });
    theme.start();
    foldable("toggle-charts", "charts-open", true, showSummaryCharts);
    byId("close-history").addEventListener("click", () => jump(() => text.keepPlace(() => history.close())));
    byId("show-report").addEventListener("click", () => showView("report"));
    byId("show-compare").addEventListener("click", () => showView("compare"));
    byId("show-runs").addEventListener("click", () => goToPlace({ runs: true }));
    window.addEventListener("hashchange", followLocation);
    byId("report-select").addEventListener("change", (event) => openServedReport(Number(event.target.value)).catch(dom.showFailure));
    window.addEventListener("popstate", (event) => {
      if (served.token) followLocation();
      onPopState(event);
    });
    document.addEventListener("keydown", () => { byId("key-message").hidden = true; }, { capture: true });
  }

  function start() {
    listen();
    const dataElement = byId("report-data");
    const started = dataElement ? startEmbedded(dataElement) : startServed();
    started.catch(dom.showFailure);
  }

  return { start };
});
