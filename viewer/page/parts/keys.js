/* The page's keys, outside the search box and the other fields, those of
   the terminal view where the page has the same thing to do:
     /  search         n, N  next, previous hit
     [, ]  previous, next iteration block
     g, :  go to a line or an iteration      i  go to an iteration
     z, Enter  fold or unfold the region at the current line
     o, +  unfold it   c, -  fold the region around it   O, *  C  all
     H  the history of the name at the current line
     s  the iteration summary    D  the infeasibility diagnosis
     d  what changed from the iteration at the current line to the next
     ?  the list of keys
   Escape closes a dialog or leaves the search box.  The outline has its
   own keys (arrows, Home, End, Enter, Space). */
"use strict";

tarnview.define("keys", ["dom"], (dom) => {
  const { byId } = dom;
  const INITIAL_ITERATION = -1;   // the initial conditions' number in the reader's data

  // What "go to" was asked: {line} (numbered from 0), {iteration} (the
  // block's number as the reader gives it, -1 for the initial conditions),
  // null for nothing, or {error}.
  function parseGoTo(text) {
    const asked = text.trim().toLowerCase();
    if (!asked) return null;
    if (/^\d+$/.test(asked)) {
      const line = Number(asked) - 1;
      return line >= 0 ? { line } : { error: "Lines are numbered from 1." };
    }
    const iteration = /^(?:i|it|iter|iteration)\s*(\d+|initial)$/.exec(asked) || /^(initial)$/.exec(asked);
    if (iteration) return { iteration: iteration[1] === "initial" ? INITIAL_ITERATION : Number(iteration[1]) };
    return { error: `\u201c${text.trim()}\u201d is not a line number (e.g. 1200) or an iteration (e.g. i 3, initial).` };
  }

  const typingIn = (target) => target instanceof Element && target.closest("input, select, textarea, [contenteditable]");

  // `actions`: search(), step(direction), iteration(direction), goTo(asked) -> error text or "",
  // fold(how) with how "toggle", "open", "close", "open all", "close all",
  // history(), summary(), diagnosis(), diff(), focusText(); active() -> whether a
  // report is on screen (when it is given: without one, only ? answers).
  function keys(actions) {
    const goToDialog = byId("go-to");
    const goToInput = byId("go-to-input");

    function openGoTo(typed = "") {
      byId("go-to-error").textContent = "";
      goToInput.value = typed;
      goToDialog.showModal();
      goToInput.focus();
    }

    function submitGoTo() {
      const asked = parseGoTo(goToInput.value);
      if (!asked) return goToDialog.close();
      const error = asked.error || actions.goTo(asked);
      if (error) byId("go-to-error").textContent = error;
      else {
        goToDialog.close();
        actions.focusText();
      }
      return undefined;
    }

    const bindings = {
      "/": () => actions.search(),
      n: () => actions.step(1),
      N: () => actions.step(-1),
      "]": () => actions.iteration(1),
      "[": () => actions.iteration(-1),
      g: () => openGoTo(),
      ":": () => openGoTo(),
      i: () => openGoTo("i "),
      z: () => actions.fold("toggle"),
      Enter: () => actions.fold("toggle"),
      o: () => actions.fold("open"),
      "+": () => actions.fold("open"),
      c: () => actions.fold("close"),
      "-": () => actions.fold("close"),
      O: () => actions.fold("open all"),
      "*": () => actions.fold("open all"),
      C: () => actions.fold("close all"),
      H: () => actions.history(),
      s: () => actions.summary(),
      D: () => actions.diagnosis(),
      d: () => actions.diff(),
      "?": () => byId("keys-help").showModal(),
    };
    // Keys that buttons and links keep for themselves.
    const ownKeys = new Set(["Enter"]);

    function onKey(event) {
      if (event.ctrlKey || event.altKey || event.metaKey || event.defaultPrevented) return;
      if (event.key === "Escape" && typingIn(event.target) && event.target.id === "search") {
        event.target.blur();
        return;
      }
      if (typingIn(event.target) || document.querySelector("dialog[open]")) return;
      if (ownKeys.has(event.key) && event.target instanceof Element && event.target.closest("button, a, [role=treeitem]")) return;
      const binding = bindings[event.key];
      if (!binding || (event.key !== "?" && actions.active && !actions.active())) return;
      event.preventDefault();
      binding();
    }

    function start() {
      document.addEventListener("keydown", onKey);
      goToInput.addEventListener("keydown", (event) => {
        if (event.key === "Enter") {
          event.preventDefault();
          submitGoTo();
        }
      });
      byId("go-to-button").addEventListener("click", submitGoTo);
      byId("show-keys").addEventListener("click", () => byId("keys-help").showModal());
      for (const close of document.querySelectorAll("dialog .close")) {
        close.addEventListener("click", () => close.closest("dialog").close());
      }
    }

    return { start };
  }

  return { keys, parseGoTo };
});
