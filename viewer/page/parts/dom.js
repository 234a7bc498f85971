/* Small helpers of the page's DOM.  Every text of a report enters the page
   through textContent (or is drawn on a canvas), never as markup. */
"use strict";

tarnview.define("dom", [], () => {
  const byId = (id) => document.getElementById(id);

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function button(text, className) {
    const node = element("button", className, text);
    node.type = "button";
    return node;
  }

  function showNotice(id, text) {
    const notice = byId(id);
    notice.textContent = text;
    notice.hidden = false;
  }

  function messageOf(error) {
    return String(error && error.message ? error.message : error);
  }

  function showFailure(error) {
    showNotice("failure", messageOf(error));
  }

  // What the page remembers between visits (folded panels, the theme);
  // nothing breaks when the browser keeps nothing.
  const remembered = {
    get(key, fallback) {
      try {
        const value = window.localStorage.getItem(`tarnview.${key}`);
        return value === null ? fallback : value;
      } catch {
        return fallback;
      }
    },
    set(key, value) {
      try {
        window.localStorage.setItem(`tarnview.${key}`, String(value));
      } catch {
        // a page opened where nothing can be stored forgets it
      }
    },
  };

  return { byId, element, button, showNotice, messageOf, showFailure, remembered };
});
