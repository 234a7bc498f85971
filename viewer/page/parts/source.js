/* Where the report comes from, behind one interface for both ways the page
   is opened:
     outline()            -> the report: regions, summary, header...
     lines(from, count)   -> up to `count` lines from `from` (fewer when an
                             answer is cut short; none past the end), each
                             [kind, colour, text, ...] as the reader writes it
     search(query, from)  -> {hits: [{line, region, text}], next, kinds}
     suggest(typed, count) -> [{name, match}]: names holding what is typed
     history(name, kind), version()   (when the source can answer them)
   - embedded (`tarnview html`): the outline and the lines, in pieces, are
     in the page as gzip-compressed JSON in base64, each piece decoded with
     the browser's own DecompressionStream when first needed;
   - served (`tarnview serve`): the server's JSON API, with the token of the
     page's own URL. */
"use strict";

tarnview.define("source", ["regions", "search"], (regions, search) => {
  const HIT_PAGE = 500;              // hits per page of an embedded search
  const PIECES_KEPT = 24;            // decoded pieces kept before the oldest is dropped

  // The parts of a line as the reader writes it.
  const lineKind = (line) => line[0];
  const lineColour = (line) => line[1];
  const lineText = (line) => line[2];
  // A table row's name and what it names ("variable", "equation"), as the
  // reader read them; "" for any other line.
  const lineRowName = (line) => line[3] || "";
  const lineRowKind = (line) => line[4] || "";
  // Where the line refers to names and iteration blocks, as the reader
  // found them: [{begin, end, kind, iteration}] in the text's characters,
  // kind "variable", "equation", "both" (a name of each) or "iteration".
  const lineSpans = (line) => (Array.isArray(line[5]) ? line[5] : [])
    .map(([begin, end, kind, iteration]) => ({ begin, end, kind, iteration }));
  // The bytes of a line of which only its first piece came (the server
  // sends a very long line a piece at a time), or null for a whole line.
  const lineBytesInAll = (line) => (line.bytesInAll === undefined ? null : line.bytesInAll);

  // What a search compares the query with: region ends show nothing.
  const shownText = (line) => (lineKind(line) === "e" ? "" : lineText(line));

  function base64Bytes(text) {
    const binary = atob(text.trim());
    const bytes = new Uint8Array(binary.length);
    for (let at = 0; at < binary.length; ++at) bytes[at] = binary.charCodeAt(at);
    return bytes;
  }

  async function gunzipText(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
    return new Response(stream).text();
  }

  // The decoded pieces, the most recently used last.
  function pieceCache(pieceTexts) {
    const decoded = new Map();
    return async function piece(index) {
      let entry = decoded.get(index);
      if (entry) decoded.delete(index);
      else entry = gunzipText(base64Bytes(pieceTexts(index))).then(JSON.parse);
      decoded.set(index, entry);
      if (decoded.size > PIECES_KEPT) decoded.delete(decoded.keys().next().value);
      try {
        return await entry;
      } catch (error) {
        decoded.delete(index);
        throw new Error(`the page's data is damaged (piece ${index + 1}): ${error.message || error}`);
      }
    };
  }

  // The embedded page's data, {report, pieces: [{from, count}]}, from its base64 text.
  async function embeddedData(text) {
    try {
      return JSON.parse(await gunzipText(base64Bytes(text)));
    } catch (error) {
      throw new Error(`the page's data is damaged: ${error.message || error}`);
    }
  }

  // `data` as embeddedData reads it; `pieceTexts(i)` the base64 text of piece i.
  function embeddedSource(data, pieceTexts) {
    const pieces = data.pieces || [];
    const piece = pieceCache(pieceTexts);
    const model = new regions.RegionModel(data.report, null);
    const pieceOf = (line) => regions.lastAtOrBefore(pieces, line, (each) => each.from);

    async function lines(from, count) {
      const index = pieceOf(from);
      if (index < 0 || from >= data.report.lineCount) return [];
      const held = await piece(index);
      const start = from - pieces[index].from;
      return held.slice(start, start + count);
    }

    // The search the server makes, from the embedded data: a name's lines
    // as the reader listed them (`names`), any other text where a line's
    // shown text holds it as written; a page of hits at a time.
    const names = data.names || {};
    async function searchName(lineNumbers, from) {
      const hits = [];
      for (const line of lineNumbers) {
        if (line < from) continue;
        if (hits.length === HIT_PAGE) return { hits, next: line, indexed: true, name: true, kinds: [] };
        const [content] = await lines(line, 1);
        hits.push({ line, region: model.regionOfLine(line), text: shownText(content).slice(0, 1000) });
      }
      return { hits, next: null, indexed: true, name: true, kinds: [] };
    }

    async function searchText(query, from) {
      if (Object.hasOwn(names, query)) return searchName(names[query], from);
      const hits = [];
      for (let index = Math.max(pieceOf(from), 0); index < pieces.length; ++index) {
        const held = await piece(index);
        const first = pieces[index].from;
        for (let at = Math.max(from - first, 0); at < held.length; ++at) {
          const text = shownText(held[at]);
          if (!text.includes(query)) continue;
          const line = first + at;
          hits.push({ line, region: model.regionOfLine(line), text: text.slice(0, 1000) });
          if (hits.length === HIT_PAGE) {
            const next = line + 1 < data.report.lineCount ? line + 1 : null;
            return { hits, next, indexed: false, kinds: [] };
          }
        }
      }
      return { hits, next: null, indexed: false, kinds: [] };
    }

    // The names suggested as a name is typed, found among the names the
    // reader listed, as the server finds them.
    const nameList = Object.keys(names);
    const suggest = async (typed, count) => search.suggestNames(nameList, typed, count);

    return { served: false, outline: async () => data.report, lines, search: searchText, suggest };
  }

  function apiUrl(token, path, parameters) {
    const url = new URL(path, window.location.href);
    url.searchParams.set("token", token);
    for (const [key, value] of Object.entries(parameters || {})) url.searchParams.set(key, String(value));
    return url;
  }

  async function fetchJson(token, path, parameters) {
    const response = await fetch(apiUrl(token, path, parameters), { cache: "no-store" });
    let body = null;
    try {
      body = await response.json();
    } catch {
      body = null;
    }
    if (!response.ok) {
      const reason = body && body.error ? body.error : `${response.status} ${response.statusText}`;
      const error = new Error(`${path}: ${reason}`);
      error.status = response.status;
      throw error;
    }
    return body;
  }

  // An answer's lines; a very long line comes alone, its first piece only,
  // which is all the page shows of it.
  function firstPieceOnly(answer) {
    if (!answer.piece || answer.piece.next === null) return answer.lines;
    const line = [...answer.lines[0]];
    line.bytesInAll = answer.piece.bytes;
    return [line];
  }

  function servedSource(token, id) {
    const base = `/api/reports/${encodeURIComponent(id)}`;
    return {
      served: true,
      id,
      outline: () => fetchJson(token, `${base}/outline`),
      lines: (from, count) => fetchJson(token, `${base}/lines`, { from, count }).then(firstPieceOnly),
      search: (query, from) => fetchJson(token, `${base}/search`, { q: query, from }),
      history: (name, kind) => fetchJson(token, `${base}/history`, kind ? { name, kind } : { name }),
      suggest: (typed, count) => fetchJson(token, "/api/suggest", { report: id, q: typed, count })
        .then((answer) => answer.suggestions),
      version: () => fetchJson(token, `${base}/version`).then((answer) => answer.version),
    };
  }

  return {
    HIT_PAGE, lineKind, lineColour, lineText, lineRowName, lineRowKind, lineSpans, lineBytesInAll, shownText, embeddedData,
    embeddedSource, servedSource, fetchJson,
    base64Bytes, gunzipText,
  };
});
