/* The report's regions and the rows shown of them.  No DOM: the outline and
   the document view draw what this model says.

   The rows shown are every line outside a closed region, the start line of
   each region (as its title) and the end line of each open region (so that
   the line numbers run on without a gap).  A region may nest deeper than
   the script's call stack: every walk here has a stack of its own, and
   nothing costs more than the depth once. */
"use strict";

tarnview.define("regions", [], () => {
  const PATH_LEVELS = 3;   // innermost titles shown of a region's path

  // The index of the last item whose key is at most `value`, or -1.
  function lastAtOrBefore(items, value, key) {
    let low = 0;
    let high = items.length - 1;
    let found = -1;
    while (low <= high) {
      const middle = (low + high) >> 1;
      if (key(items[middle]) <= value) {
        found = middle;
        low = middle + 1;
      } else {
        high = middle - 1;
      }
    }
    return found;
  }

  const openByDefault = (region) => region.depth === 0 || region.kind !== "iteration";

  // For each stretch of lines, the innermost region holding it: [{line, region}]
  // in line order, where each entry holds until the next one.
  function innermostSpans(regions) {
    const spans = [{ line: 0, region: -1 }];
    const stack = [];
    const closeBefore = (line) => {
      while (stack.length && regions[stack[stack.length - 1]].end < line) {
        const closed = regions[stack.pop()];
        spans.push({ line: closed.end + 1, region: stack.length ? stack[stack.length - 1] : -1 });
      }
    };
    regions.forEach((region, id) => {
      closeBefore(region.line);
      spans.push({ line: region.line, region: id });
      stack.push(id);
    });
    closeBefore(Infinity);
    return spans;
  }

  class RegionModel {
    // `report` as the outline gives it; `previousOpen` keeps the regions'
    // open state of an earlier version of the report.
    constructor(report, previousOpen) {
      this.report = report;
      this.regions = report.regions || [];
      this.lineCount = report.lineCount;
      this.topRegions = [];
      this.startRegion = new Map();
      this.endRegion = new Map();
      this.regions.forEach((region, id) => {
        if (region.parent < 0) this.topRegions.push(id);
        this.startRegion.set(region.line, id);
        if (region.end < report.lineCount) this.endRegion.set(region.end, id);
      });
      this.spans = innermostSpans(this.regions);
      this.open = new Uint8Array(this.regions.length);
      this.regions.forEach((region, id) => {
        const kept = previousOpen && id < previousOpen.length;
        this.open[id] = kept ? previousOpen[id] : Number(openByDefault(region));
      });
      this.iterationStarts = this.regions.filter((region) => region.kind === "iteration").map((region) => region.line);
      this.buildRows();
    }

    // The innermost region that holds the line, or -1.
    regionOfLine(line) {
      return this.spans[lastAtOrBefore(this.spans, line, (span) => span.line)].region;
    }

    // The titles of the region and of the regions around it, the innermost
    // PATH_LEVELS of them ("… › " when there are more).
    path(id) {
      if (id < 0) return "Outside any region";
      const titles = [];
      let at = id;
      for (; at >= 0 && titles.length < PATH_LEVELS; at = this.regions[at].parent) titles.unshift(this.regions[at].title);
      return (at >= 0 ? "\u2026 \u203a " : "") + titles.join(" \u203a ");
    }

    // Opens every closed region around the line: the ids opened, outermost first.
    openAround(line) {
      const opened = [];
      for (let id = this.regionOfLine(line); id >= 0; id = this.regions[id].parent) {
        if (!this.open[id]) opened.push(id);
      }
      opened.reverse();
      for (const id of opened) this.open[id] = 1;
      if (opened.length) this.buildRows();
      return opened;
    }

    setOpen(id, open) {
      this.open[id] = open ? 1 : 0;
      this.buildRows();
    }

    setAllOpen(open) {
      this.open.fill(open ? 1 : 0);
      this.buildRows();
    }

    // The outermost region around region `id` (itself at the top level).
    outermost(id) {
      let at = id;
      while (at >= 0 && this.regions[at].parent >= 0) at = this.regions[at].parent;
      return at;
    }

    // The id after the last region inside region `id` (a region's descendants follow it).
    endOfDescendants(id) {
      const end = this.regions[id].end;
      return lastAtOrBefore(this.regions, end, (region) => region.line) + 1;
    }

    buildRows() {
      const segments = [];   // {row, line, count}: runs of rows showing consecutive lines
      let rowCount = 0;
      const add = (from, to) => {
        if (to <= from) return;
        const last = segments[segments.length - 1];
        if (last && last.line + last.count === from) last.count += to - from;
        else segments.push({ row: rowCount, line: from, count: to - from });
        rowCount += to - from;
      };
      const stack = [{ children: this.topRegions, next: 0, cursor: 0, to: this.lineCount }];
      while (stack.length) {
        const frame = stack[stack.length - 1];
        if (frame.next === frame.children.length) {
          add(frame.cursor, frame.to);
          stack.pop();
          continue;
        }
        const id = frame.children[frame.next++];
        const region = this.regions[id];
        add(frame.cursor, region.line + 1);
        frame.cursor = region.end + 1;
        if (this.open[id]) {
          const to = Math.min(region.end + 1, this.lineCount);
          stack.push({ children: region.children, next: 0, cursor: region.line + 1, to });
        }
      }
      this.segments = segments;
      this.rowCount = rowCount;
    }

    lineOfRow(row) {
      const segment = this.segments[lastAtOrBefore(this.segments, row, (each) => each.row)];
      return segment.line + (row - segment.row);
    }

    // The row showing the line, or -1 when it is inside a closed region.
    rowOfLine(line) {
      const at = lastAtOrBefore(this.segments, line, (segment) => segment.line);
      if (at < 0) return -1;
      const segment = this.segments[at];
      return line < segment.line + segment.count ? segment.row + (line - segment.line) : -1;
    }

    // The start line of the iteration block after (+1) or before (-1) the line.
    iterationNear(line, direction) {
      const starts = this.iterationStarts;
      const at = lastAtOrBefore(starts, direction > 0 ? line : line - 1, (start) => start);
      const wanted = direction > 0 ? at + 1 : at;
      return wanted >= 0 && wanted < starts.length ? starts[wanted] : null;
    }
  }

  return { RegionModel, lastAtOrBefore, innermostSpans, openByDefault, PATH_LEVELS };
});
