/* Asking the server again and again for what changed: one request at a
   time, none while the page is hidden (asked at once when it is shown
   again), none once stopped.  The live run view and the table of runs
   both ask this way. */
"use strict";

tarnview.define("poll", [], () => {
  // `ask()` makes one request and shows its answer; it resolves to the
  // milliseconds before the next, or null to ask no more (it never throws:
  // a failure is its to tell, with the delay to try again after).
  function poller(ask) {
    const state = { running: false, timer: 0, asking: false };

    function clear() {
      window.clearTimeout(state.timer);
      state.timer = 0;
    }

    async function askNow() {
      if (!state.running || state.asking || document.hidden) return;
      clear();
      state.asking = true;
      let delay = null;
      try {
        delay = await ask();
      } finally {
        state.asking = false;
      }
      if (state.running && delay !== null && !document.hidden) state.timer = window.setTimeout(askNow, delay);
    }

    document.addEventListener("visibilitychange", () => (document.hidden ? clear() : askNow()));

    return {
      // Asks now (or, when a request is out, once it is answered) and on.
      start() {
        state.running = true;
        askNow();
      },
      stop() {
        state.running = false;
        clear();
      },
    };
  }

  return { poller };
});
