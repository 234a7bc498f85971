/* The page's parts.  Each file of this folder defines one part by name,
   with the parts it uses; a part is made the first time it is used.  The
   build joins the files, in the order of parts.txt, into the page's one
   script; the unit tests join them the same way. */
"use strict";

/* exported tarnview */
const tarnview = (() => {
  const factories = new Map();
  const made = new Map();
  const making = new Set();

  function define(name, uses, factory) {
    if (factories.has(name)) throw new Error(`the part ${name} is defined twice`);
    factories.set(name, { uses, factory });
  }

  function use(name) {
    if (made.has(name)) return made.get(name);
    const entry = factories.get(name);
    if (!entry) throw new Error(`no part is named ${name}`);
    if (making.has(name)) throw new Error(`the part ${name} uses itself through ${[...making].join(", ")}`);
    making.add(name);
    const part = entry.factory(...entry.uses.map(use));
    making.delete(name);
    made.set(name, part);
    return part;
  }

  return { define, use };
})();
