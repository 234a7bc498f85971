"""Every option that a program's --help lists is in its manual page.

    man_options.py PROGRAM PAGE

A program with commands (a "Commands:" list in its --help) has each
command's options, from "PROGRAM COMMAND --help", in the page's part for
that command: the part headed "PROGRAM COMMAND:".
"""
import os
import re
import subprocess
import sys

# An option line of --help: indented, the options, then two spaces or more.
OPTION_LINE = re.compile(r"^\s+(-[^ ].*?)(?:\s{2,}|$)")
OPTION = re.compile(r"(?<![\w-])--?[A-Za-z0-9][\w-]*")
# A line of the command list: indented, the command's name, its summary.
COMMAND_LINE = re.compile(r"^\s+([a-z][\w-]*)\s")
# A subsection heading of the page, and the start of any section.
PART_HEADING = re.compile(r'^\.SS "?(.*?)"?$', re.M)
SECTION_START = re.compile(r"^\.S[HS] ", re.M)
SECONDS = 60


def help_text(command):
    return subprocess.run(command + ["--help"], check=True, capture_output=True, text=True,
                          timeout=SECONDS).stdout


def options_in(text):
    options = []
    for line in text.splitlines():
        match = OPTION_LINE.match(line)
        if match:
            options += OPTION.findall(match.group(1))
    return options


def commands_in(text):
    """The names in the "Commands:" list, which ends at a blank line."""
    lines = text.splitlines()
    if "Commands:" not in lines:
        return []
    names = []
    for line in lines[lines.index("Commands:") + 1:]:
        match = COMMAND_LINE.match(line)
        if not match:
            break
        names.append(match.group(1))
    return names


def page_text(path):
    """The page's roff source with hyphens and font changes as plain text."""
    with open(path, encoding="utf-8") as f:
        roff = f.read()
    return re.sub(r"\\f[BIRP]|\\f\(..", "", roff.replace("\\-", "-"))


def page_part(text, heading):
    """The page's text from the subsection `heading` to the next section."""
    for match in PART_HEADING.finditer(text):
        if match.group(1) == heading:
            following = SECTION_START.search(text, match.end())
            return text[match.end():following.start() if following else len(text)]
    return None


def missing_options(options, text):
    return [o for o in options if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(o), text)]


def main(program, page):
    text = page_text(page)
    top_help = help_text([program])
    commands = commands_in(top_help)
    # Where --help came from, its options, and the text they must be in.
    checks = []
    if options_in(top_help) or not commands:
        checks.append((program, options_in(top_help), text))
    name = os.path.basename(program)
    for command in commands:
        part = page_part(text, "%s %s:" % (name, command))
        if part is None:
            print("%s: no part headed '%s %s:' for the command %s" % (page, name, command, command))
            return 1
        checks.append(("%s %s" % (program, command), options_in(help_text([program, command])), part))
    failed = False
    for source, options, where in checks:
        if not options:
            print("no option found in the output of %s --help" % source)
            failed = True
        for option in missing_options(options, where):
            print("%s: option %s of %s --help is not in the manual page" % (page, option, source))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
