/* Lines by number, fetched a chunk at a time from the data source (a chunk
   asked for once until it arrives) and kept until the farthest chunks are
   dropped. */
"use strict";

tarnview.define("lines", [], () => {
  const LINE_CHUNK = 250;
  const CHUNKS_KEPT = 256;

  // `onArrival()` is called when a chunk arrives, `onFailure(error)` when it cannot.
  function lineStore(source, onArrival, onFailure) {
    const chunks = new Map();
    let generation = 0;

    function dropFarChunks(near) {
      if (chunks.size <= CHUNKS_KEPT) return;
      const far = [...chunks.keys()].sort((a, b) => Math.abs(b - near) - Math.abs(a - near));
      for (const key of far.slice(0, chunks.size - CHUNKS_KEPT)) chunks.delete(key);
    }

    // A source may answer with fewer lines than asked (the server caps the
    // bytes of an answer, a piece of the embedded data ends): the rest is
    // asked for until the chunk is whole or the report ends.
    async function wholeChunk(index) {
      const lines = [];
      while (lines.length < LINE_CHUNK) {
        const more = await source.lines(index * LINE_CHUNK + lines.length, LINE_CHUNK - lines.length);
        if (!more.length) break;
        for (const line of more) lines.push(line);
      }
      return lines;
    }

    function fetchChunk(index) {
      const entry = { lines: null };
      const asked = generation;
      chunks.set(index, entry);
      wholeChunk(index).then(
        (lines) => {
          if (asked !== generation) return;
          entry.lines = lines;
          dropFarChunks(index);
          onArrival();
        },
        (error) => {
          if (asked !== generation) return;
          chunks.delete(index);
          onFailure(error);
        },
      );
    }

    return {
      // The line, or undefined while it is on its way.
      get(number) {
        const index = Math.floor(number / LINE_CHUNK);
        const entry = chunks.get(index);
        if (!entry) {
          fetchChunk(index);
          return undefined;
        }
        return entry.lines ? entry.lines[number - index * LINE_CHUNK] : undefined;
      },
      forget() {
        generation += 1;
        chunks.clear();
      },
    };
  }

  return { lineStore, LINE_CHUNK };
});
