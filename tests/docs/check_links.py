#!/usr/bin/env python3
"""Checks the links between the project's Markdown files.

    check_links.py ROOT FILE.md...

Every relative link of each FILE.md (`[text](path)`, `[text](path#anchor)`,
`[text](#anchor)`) must name a file that exists, and an anchor must be the
anchor of a heading of that file, made as GitHub makes it (lower case,
punctuation dropped, blanks turned into hyphens, "-1", "-2" ... after a
repeated heading).  Links to web pages are not followed.  One line per
broken link; exit 0 when there is none.
"""
import os
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s*(```|~~~)")


def prose_lines(path):
    """The lines of a Markdown file outside fenced code blocks."""
    inside = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                inside = not inside
                continue
            if not inside:
                yield number, line.rstrip("\n")


def slug(heading):
    text = re.sub(r"[`*_]|<[^>]*>", "", heading).strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    seen = {}
    result = set()
    for _, line in prose_lines(path):
        m = HEADING.match(line)
        if not m:
            continue
        base = slug(m.group(1))
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else "%s-%d" % (base, count))
    return result


def broken_links(path):
    problems = []
    for number, line in prose_lines(path):
        for target in LINK.findall(line):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue  # a web page or another scheme
            file_part, _, anchor = target.partition("#")
            linked = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
                if file_part else path
            where = "%s:%d: %s" % (path, number, target)
            if not os.path.exists(linked):
                problems.append("%s: no file %s" % (where, linked))
            elif anchor and (not linked.endswith(".md") or anchor not in anchors(linked)):
                problems.append("%s: no heading with the anchor #%s in %s" % (where, anchor, linked))
    return problems


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: check_links.py ROOT FILE.md...\n")
        return 2
    os.chdir(argv[0])
    problems = []
    for path in argv[1:]:
        problems += broken_links(path)
    for problem in problems:
        print(problem)
    if not problems:
        print("links of %d files checked" % (len(argv) - 1))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
