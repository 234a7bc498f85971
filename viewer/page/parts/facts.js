/* A run's facts at a glance (its end status, final objective, major
   iterations, final total infeasibility and the options whose values
   differ from the other runs served) and what changed from one iteration
   to another: both asked of the server (/api/facts, /api/diff). */
"use strict";

tarnview.define("facts", ["dom", "charts", "source"], (dom, charts, source) => {
  const DIFF_ROWS = 50;   // values listed of an iteration diff
  const { byId, element } = dom;

  const number = (value) => (value === null || value === undefined ? "none" : charts.cellText(value));

  // One line of a run's facts, as the server gives them.
  function factsText(facts) {
    const iterations = facts.majorIterations === 1 ? "1 major iteration" : `${facts.majorIterations} major iterations`;
    const parts = [facts.status || "no status", `objective ${number(facts.finalObjective)}`, iterations,
      `final infeasibility ${number(facts.finalInfeasibility)}`];
    if (facts.endedEarly) parts.push("the report ended early");
    const options = (facts.options || []).map((option) => `${option.option}=${option.value === null ? "(not set)" : option.value}`);
    if (options.length) parts.push(`options that differ: ${options.join(", ")}`);
    return parts.join(" \u00b7 ");
  }

  // The facts of the served reports `ids`: [{id, facts}].
  async function factsOf(token, ids) {
    const answer = await source.fetchJson(token, "/api/facts", { reports: ids.join(",") });
    return answer.runs || [];
  }

  function nameButton(name) {
    const link = dom.button(name, "name-link");
    link.dataset.name = name;
    link.title = `History of ${name}`;
    return link;
  }

  // A table of `rows` under `columns`, each row [cells...]: a cell a node or a text.
  function table(caption, columns, rows) {
    const node = element("table");
    node.append(element("caption", "", caption));
    const head = element("tr");
    for (const column of columns) head.append(element("th", "", column));
    const body = element("tbody");
    for (const cells of rows) {
      const row = element("tr");
      for (const cell of cells) {
        const td = element("td");
        td.append(typeof cell === "object" ? cell : String(cell));
        row.append(td);
      }
      body.append(row);
    }
    const thead = element("thead");
    thead.append(head);
    node.append(thead, body);
    return node;
  }

  const state = (value) => (value === null || value === undefined ? "\u2013" : value);

  // The tables of an iteration diff (/api/diff's answer).
  function diffTables(diff) {
    const values = diff.values.map((entry) => [nameButton(entry.name), entry.kind, entry.column,
      charts.cellText(entry.a), charts.cellText(entry.b), charts.cellText(entry.difference), charts.cellText(entry.relative)]);
    const more = diff.valueCount > diff.values.length ? ` (the ${diff.values.length} of ${diff.valueCount} that changed most)` : "";
    return [
      table(`Values that changed${more}`, ["Name", "Kind", "Column", `Iteration ${diff.from}`, `Iteration ${diff.to}`, "Change", "Relative"], values),
      table("Bounds that became active or inactive", ["Name", "Before", "After"],
        diff.bounds.map((entry) => [nameButton(entry.name), state(entry.before), state(entry.after)])),
      table("Equations that became or stopped being infeasible", ["Name", "Before", "After", ""],
        diff.infeasibility.map((entry) => [nameButton(entry.name), charts.cellText(entry.before), charts.cellText(entry.after),
          entry.became ? "became infeasible" : "became feasible"])),
      table("Status changes", ["Name", "Before", "After"],
        diff.statuses.map((entry) => [nameButton(entry.name), state(entry.before), state(entry.after)])),
    ];
  }

  // The diff panel of the report view, served.  `actions.openName(name)`.
  function diffPanel(view, served, actions) {
    async function show(from, to) {
      byId("diff").hidden = false;
      byId("diff-status").textContent = "Comparing\u2026";
      try {
        const diff = await source.fetchJson(served.token, "/api/diff",
          { report: view.source.id, from, ...(to === "" ? {} : { to }), limit: DIFF_ROWS, order: byId("diff-order").value });
        byId("diff-status").textContent = `From iteration ${diff.from} to ${diff.to}.`;
        byId("diff-tables").replaceChildren(...diffTables(diff));
      } catch (error) {
        byId("diff-status").textContent = dom.messageOf(error);
        byId("diff-tables").replaceChildren();
      }
    }

    function open(from, to) {
      byId("diff-from").value = String(from);
      byId("diff-to").value = to === undefined ? "" : String(to);
      return show(byId("diff-from").value, byId("diff-to").value);
    }

    function start() {
      byId("diff-form").addEventListener("submit", (event) => {
        event.preventDefault();
        show(byId("diff-from").value.trim(), byId("diff-to").value.trim());
      });
      byId("diff-order").addEventListener("change", () => show(byId("diff-from").value.trim(), byId("diff-to").value.trim()));
      byId("close-diff").addEventListener("click", () => { byId("diff").hidden = true; });
      byId("diff-tables").addEventListener("click", (event) => {
        const link = event.target.closest("[data-name]");
        if (link) actions.openName(link.dataset.name);
      });
    }

    return { start, open, show };
  }

  return { factsText, factsOf, diffPanel, diffTables };
});
