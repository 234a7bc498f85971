/* The outline: an ARIA tree, one item per region shown (those inside a
   closed region are not), in document order.  The items are siblings with
   their depth in aria-level (regions may nest deeper than nested lists can
   be drawn), and only those near the screen are in the page, so an outline
   of 100,000 open regions costs no more than one of a hundred.  Arrow keys,
   Home, End, Enter and Space work in it; the focused item is kept in view. */
"use strict";

tarnview.define("outline", ["dom"], (dom) => {
  const MAX_INDENT_LEVELS = 12;   // deeper items are indented as far, with their level shown
  const OVERSCAN_ITEMS = 60;   // items drawn above and below the screen
  const { element } = dom;

  // The regions shown, in order: none inside a closed region.
  function shownRegions(model) {
    const shown = [];
    const closedAt = [];  // depths of the closed regions around the region
    model.regions.forEach((region, id) => {
      while (closedAt.length && closedAt[closedAt.length - 1] >= region.depth) closedAt.pop();
      if (!closedAt.length) shown.push(id);
      if (!model.open[id]) closedAt.push(region.depth);
    });
    return shown;
  }

  // `view.model` is the region model; `actions` are goToLine(line) and
  // toggleRegion(id, open), both of the document view.
  function outline(view, actions) {
    const tree = dom.byId("outline");
    const box = dom.byId("outline-box");   // scrolls the tree
    const state = { shown: [], indexOf: new Map(), focused: -1, itemHeight: 22, drawn: "" };

    function outlineItem(id) {
      const model = view.model;
      const region = model.regions[id];
      const siblings = region.parent >= 0 ? model.regions[region.parent].children : model.topRegions;
      const item = element("li");
      item.id = `region-${id}`;
      item.dataset.region = String(id);
      item.setAttribute("role", "treeitem");
      item.setAttribute("aria-level", String(region.depth + 1));
      item.setAttribute("aria-setsize", String(siblings.length));
      item.setAttribute("aria-posinset", String(siblings.indexOf(id) + 1));
      item.setAttribute("aria-expanded", String(Boolean(model.open[id])));
      item.tabIndex = id === state.focused ? 0 : -1;
      const label = element("div", "item");
      label.style.paddingLeft = `${Math.min(region.depth, MAX_INDENT_LEVELS) * 14 + 4}px`;
      label.append(element("span", "twisty"));
      if (region.depth > MAX_INDENT_LEVELS) label.append(element("span", "level", `${region.depth + 1}`));
      label.append(element("span", "title", region.title), element("span", "count", String(region.lineCount)));
      item.append(label);
      return item;
    }

    // The items near the screen, the padding above and below standing for the rest.
    function draw(force) {
      const count = state.shown.length;
      const first = Math.max(0, Math.floor(box.scrollTop / state.itemHeight) - OVERSCAN_ITEMS);
      const last = Math.min(count, Math.ceil((box.scrollTop + box.clientHeight) / state.itemHeight) + OVERSCAN_ITEMS);
      const key = `${first}:${last}`;
      if (!force && key === state.drawn) return;
      state.drawn = key;
      tree.style.paddingTop = `${first * state.itemHeight}px`;
      tree.style.paddingBottom = `${(count - last) * state.itemHeight}px`;
      const hadFocus = tree.contains(document.activeElement);
      const fragment = document.createDocumentFragment();
      for (let at = first; at < last; ++at) fragment.append(outlineItem(state.shown[at]));
      tree.replaceChildren(fragment);
      if (hadFocus && treeItem(state.focused)) treeItem(state.focused).focus({ preventScroll: true });
    }

    const treeItem = (id) => dom.byId(`region-${id}`);

    // The regions shown changed (opened, closed, a new report).
    function refresh() {
      if (!view.model.regions.length) {
        tree.style.padding = "0";
        tree.replaceChildren(element("li", "count", "No regions in this report"));
        return;
      }
      state.shown = shownRegions(view.model);
      state.indexOf = new Map(state.shown.map((id, at) => [id, at]));
      if (!state.indexOf.has(state.focused)) state.focused = state.shown[0];
      draw(true);
    }

    function build() {
      const value = parseFloat(getComputedStyle(tree).getPropertyValue("--outline-item-height"));
      state.itemHeight = Number.isFinite(value) && value > 0 ? value : 22;
      state.focused = -1;
      box.scrollTop = 0;
      refresh();
    }

    // Scrolls the item of region `id` (a shown one) into view: false when it is not shown.
    function reveal(id) {
      const at = state.indexOf.get(id);
      if (at === undefined) return false;
      const top = at * state.itemHeight;
      if (top < box.scrollTop) box.scrollTop = top;
      else if (top + state.itemHeight > box.scrollTop + box.clientHeight) box.scrollTop = top + state.itemHeight - box.clientHeight;
      draw(true);
      return true;
    }

    // Focuses the item of region `id`, scrolled into view.
    function focusRegion(id) {
      if (!reveal(id)) return;
      state.focused = id;
      for (const item of tree.querySelectorAll('[tabindex="0"]')) item.tabIndex = -1;
      treeItem(id).tabIndex = 0;
      treeItem(id).focus({ preventScroll: true });
    }

    const shownAt = (at) => state.shown[Math.max(0, Math.min(at, state.shown.length - 1))];

    function toggle(id, open) {
      if (actions.toggleRegion(id, open)) refresh();
    }

    function onKey(event) {
      const item = event.target.closest('[role="treeitem"]');
      if (!item) return;
      const id = Number(item.dataset.region);
      const at = state.indexOf.get(id);
      const open = view.model.open[id];
      const keys = {
        ArrowDown: () => focusRegion(shownAt(at + 1)),
        ArrowUp: () => focusRegion(shownAt(at - 1)),
        Home: () => focusRegion(shownAt(0)),
        End: () => focusRegion(shownAt(state.shown.length - 1)),
        ArrowRight: () => (open ? focusRegion(shownAt(at + 1)) : toggle(id, true)),
        ArrowLeft: () => (open ? toggle(id, false) : focusRegion(view.model.regions[id].parent)),
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
      focusRegion(id);
      if (event.target.closest(".twisty")) toggle(id);
      else if (event.target.closest(".item")) actions.goToLine(view.model.regions[id].line);
    }

    function start() {
      tree.addEventListener("click", onClick);
      tree.addEventListener("keydown", onKey);
      box.addEventListener("scroll", () => draw(false), { passive: true });
      window.addEventListener("resize", () => draw(true));
    }

    return { start, build, refresh, reveal, focusRegion };
  }

  return { outline, shownRegions };
});
