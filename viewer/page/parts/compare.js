/* The compare view (served, two reports or more): the summary charts of
   the reports chosen on shared axes, the names whose final values differ
   most between two runs, each name a link to its history in every run
   chosen, overlaid. */
"use strict";

tarnview.define("compare", ["dom", "charts", "history", "source", "facts"], (dom, charts, history, source, facts) => {
  const DIFFERENCES_SHOWN = 200;   // rows of the differences table
  const { byId, element } = dom;

  // `served` holds the token, the reports and their outlines.
  function compareView(served) {
    const reportName = (id) => {
      const report = served.reports.find((entry) => entry.id === id);
      return report ? report.name : `report ${id}`;
    };
    const chosenReports = () =>
      [...byId("compare-reports").querySelectorAll("input:checked")].map((box) => Number(box.value));

    function option(value, text) {
      const node = element("option", "", text);
      node.value = String(value);
      return node;
    }

    function fillChoices() {
      const boxes = byId("compare-reports");
      boxes.replaceChildren(element("legend", "", "Reports overlaid"));
      for (const report of served.reports) {
        const label = element("label");
        const box = element("input");
        box.type = "checkbox";
        box.checked = true;
        box.value = String(report.id);
        label.append(box, ` ${report.name}`);
        boxes.append(label);
      }
      for (const [selectId, index] of [["compare-a", 0], ["compare-b", 1]]) {
        const pair = byId(selectId);
        pair.replaceChildren(...served.reports.map((report) => option(report.id, report.name)));
        if (served.reports[index]) pair.value = String(served.reports[index].id);
      }
    }

    function nameLink(name, kind) {
      const link = dom.button(name, "name-link");
      link.dataset.name = name;
      link.dataset.kind = kind;
      link.title = `History of ${name} in every report chosen`;
      return link;
    }

    function differencesTable(comparison) {
      const differences = comparison.differences || [];
      const headRow = element("tr");
      for (const title of ["Name", "Kind", "Column", `A: ${reportName(Number(byId("compare-a").value))}`,
        `B: ${reportName(Number(byId("compare-b").value))}`, "B \u2212 A"]) headRow.append(element("th", "", title));
      const head = element("thead");
      head.append(headRow);
      const body = element("tbody");
      for (const difference of differences) {
        const row = element("tr");
        const nameCell = element("td");
        nameCell.append(nameLink(difference.name, difference.kind));
        row.append(nameCell);
        for (const value of [difference.kind, difference.column, difference.a, difference.b, difference.difference]) {
          row.append(element("td", "", charts.cellText(value)));
        }
        body.append(row);
      }
      byId("differences").replaceChildren(head, body);
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

    // The name whose history is open ({name, kind}), drawn again when the
    // reports chosen change; and a count that lets only the latest drawing land.
    const shownHistory = { name: null, kind: null, generation: 0 };

    // One line of facts per report chosen.
    async function showFacts(chosen) {
      const runs = chosen.length ? await facts.factsOf(served.token, chosen) : [];
      const rows = runs.map((run) => {
        const row = element("tr");
        row.append(element("th", "", reportName(run.id)), element("td", "", facts.factsText(run.facts)));
        return row;
      });
      byId("compare-facts").replaceChildren(...rows);
    }

    async function draw() {
      if (shownHistory.name !== null) showHistory(shownHistory.name, shownHistory.kind);
      const chosen = chosenReports();
      try {
        if (chosen.length) {
          const runs = await Promise.all(chosen.map(async (id) => ({ name: reportName(id), summary: (await served.outlineOf(id)).summary })));
          charts.drawSummaryCharts(runs, "chart-compare-convergence", "chart-compare-objective");
        }
        showFacts(chosen);
        byId("differences-status").textContent = "Comparing\u2026";
        const comparison = await source.fetchJson(served.token, "/api/compare",
          { a: byId("compare-a").value, b: byId("compare-b").value, limit: DIFFERENCES_SHOWN });
        differencesTable(comparison);
      } catch (error) {
        byId("differences-status").textContent = dom.messageOf(error);
      }
    }

    // The history of a name in every report chosen, overlaid (a report
    // without the name is left out and said so).
    async function showHistory(name, kind) {
      const generation = ++shownHistory.generation;
      Object.assign(shownHistory, { name, kind });
      const section = byId("compare-history");
      section.hidden = false;
      byId("compare-history-heading").textContent = `History of ${name}\u2026`;
      const chosen = chosenReports();
      const answers = await Promise.all(chosen.map((id) =>
        source.servedSource(served.token, id).history(name, kind).then((found) => ({ name: reportName(id), history: found }),
          () => null)));
      if (generation !== shownHistory.generation) return;
      const runs = answers.filter(Boolean);
      const missing = chosen.length - runs.length;
      byId("compare-history-heading").textContent = runs.length
        ? `History of ${name} in ${runs.length === 1 ? runs[0].name : `${runs.length} reports`}` +
          `${missing ? ` (${missing} without it)` : ""}`
        : `No report chosen has ${name}`;
      history.drawGroups(byId("compare-history-charts"), "chart-compare-history", runs);
    }

    function start() {
      byId("compare-reports").addEventListener("change", draw);
      byId("compare-a").addEventListener("change", draw);
      byId("compare-b").addEventListener("change", draw);
      byId("differences").addEventListener("click", (event) => {
        const link = event.target.closest("[data-name]");
        if (link) showHistory(link.dataset.name, link.dataset.kind);
      });
      byId("close-compare-history").addEventListener("click", () => {
        byId("compare-history").hidden = true;
        shownHistory.name = null;
        ++shownHistory.generation;
      });
    }

    return { start, fillChoices, draw, showHistory };
  }

  return { compareView, DIFFERENCES_SHOWN };
});
