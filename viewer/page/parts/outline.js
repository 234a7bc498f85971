/* The outline: an ARIA tree, one item per region, in document order.  The
   items are siblings with their depth in aria-level (regions may nest
   deeper than nested lists can be drawn); those inside a closed region are
   hidden.  Arrow keys, Home, End, Enter and Space work in it. */
"use strict";

tarnview.define("outline", ["dom"], (dom) => {
  const MAX_INDENT_LEVELS = 24;
  const { element } = dom;

  // `view.model` is the region model; `actions` are goToLine(line) and
  // toggleRegion(id, open), both of the document view.
  function outline(view, actions) {
    const tree = dom.byId("outline");
    const treeItem = (id) => dom.byId(`region-${id}`);

    function outlineItem(id) {
      const region = view.model.regions[id];
      const item = element("li");
      item.id = `region-${id}`;
      item.dataset.region = String(id);
      item.setAttribute("role", "treeitem");
      item.setAttribute("aria-level", String(region.depth + 1));
      item.setAttribute("aria-expanded", String(Boolean(view.model.open[id])));
      item.tabIndex = -1;
      const label = element("div", "item");
      label.style.paddingLeft = `${Math.min(region.depth, MAX_INDENT_LEVELS) * 14 + 4}px`;
      label.append(element("span", "twisty"));
      label.append(element("span", "title", region.title), element("span", "count", String(region.lineCount)));
      item.append(label);
      return item;
    }

    // Shows the open state of region `parent` and its descendants (-1: every
    // region) in one pass over them.
    function showOpenItems(parent) {
      const model = view.model;
      const end = parent >= 0 ? model.endOfDescendants(parent) : model.regions.length;
      const parentItem = parent >= 0 ? treeItem(parent) : null;
      const hiddenAbove = parentItem !== null && (parentItem.hidden || !model.open[parent]);
      if (parentItem) parentItem.setAttribute("aria-expanded", String(Boolean(model.open[parent])));
      const closedAt = [];  // depths of the closed regions around the item
      for (let id = parent + 1; id < end; ++id) {
        const depth = model.regions[id].depth;
        while (closedAt.length && closedAt[closedAt.length - 1] >= depth) closedAt.pop();
        const item = treeItem(id);
        item.hidden = hiddenAbove || closedAt.length > 0;
        item.setAttribute("aria-expanded", String(Boolean(model.open[id])));
        if (!model.open[id]) closedAt.push(depth);
      }
    }

    function build() {
      if (!view.model.regions.length) {
        tree.replaceChildren(element("li", "count", "No regions in this report"));
        return;
      }
      const fragment = document.createDocumentFragment();
      view.model.regions.forEach((_, id) => fragment.append(outlineItem(id)));
      tree.replaceChildren(fragment);
      showOpenItems(-1);
      const first = tree.querySelector('[role="treeitem"]');
      if (first) first.tabIndex = 0;
    }

    // Regions were opened or closed: `outermost` is the outermost of them.
    function regionsChanged(outermost) {
      if (outermost !== undefined && treeItem(outermost)) showOpenItems(outermost);
    }

    function focusItem(item) {
      if (!item) return;
      for (const other of tree.querySelectorAll('[role="treeitem"][tabindex="0"]')) other.tabIndex = -1;
      item.tabIndex = 0;
      item.focus({ preventScroll: true });
      item.scrollIntoView({ block: "nearest" });
    }

    // The next (+1) or previous (-1) item shown after `id`.
    function shownItem(id, direction) {
      for (let at = id + direction; at >= 0 && at < view.model.regions.length; at += direction) {
        const item = treeItem(at);
        if (!item.hidden) return item;
      }
      return null;
    }

    function toggle(id, open) {
      if (actions.toggleRegion(id, open)) showOpenItems(id);
    }

    function onKey(event) {
      const item = event.target.closest('[role="treeitem"]');
      if (!item) return;
      const id = Number(item.dataset.region);
      const count = view.model.regions.length;
      const open = view.model.open[id];
      const keys = {
        ArrowDown: () => focusItem(shownItem(id, 1)),
        ArrowUp: () => focusItem(shownItem(id, -1)),
        Home: () => focusItem(treeItem(0)),
        End: () => focusItem(treeItem(count - 1).hidden ? shownItem(count - 1, -1) : treeItem(count - 1)),
        ArrowRight: () => (open ? focusItem(shownItem(id, 1)) : toggle(id, true)),
        ArrowLeft: () => (open ? toggle(id, false) : focusItem(treeItem(view.model.regions[id].parent))),
        Enter: () => actions.goToLine(view.model.regions[id].line),
        " ": () => toggle(id),
      };
      const key = keys[event.key];
      if (!key) return;
      event.preventDefault();
      event.stopPropagation();
      key();
    }

    function onClick(event) {
      const item = event.target.closest('[role="treeitem"]');
      if (!item) return;
      const id = Number(item.dataset.region);
      focusItem(item);
      if (event.target.closest(".twisty")) toggle(id);
      else if (event.target.closest(".item")) actions.goToLine(view.model.regions[id].line);
    }

    function start() {
      tree.addEventListener("click", onClick);
      tree.addEventListener("keydown", onKey);
    }

    return { start, build, regionsChanged, showOpenItems };
  }

  return { outline };
});
