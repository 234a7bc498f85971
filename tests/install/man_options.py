"""Every option that a program's --help lists is in its manual page.

    man_options.py PROGRAM PAGE
"""
import re
import subprocess
import sys

# An option line of --help: indented, the options, then two spaces or more.
OPTION_LINE = re.compile(r"^\s+(-[^ ].*?)(?:\s{2,}|$)")
OPTION = re.compile(r"(?<![\w-])--?[A-Za-z0-9][\w-]*")


def help_options(program):
    text = subprocess.run([program, "--help"], check=True, capture_output=True, text=True).stdout
    options = []
    for line in text.splitlines():
        match = OPTION_LINE.match(line)
        if match:
            options += OPTION.findall(match.group(1))
    return options


def page_text(path):
    """The page's roff source with hyphens and font changes as plain text."""
    with open(path, encoding="utf-8") as f:
        roff = f.read()
    return re.sub(r"\\f[BIRP]|\\f\(..", "", roff.replace("\\-", "-"))


def main(program, page):
    options = help_options(program)
    if not options:
        print("no option found in the output of %s --help" % program)
        return 1
    text = page_text(page)
    missing = [o for o in options if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(o), text)]
    for option in missing:
        print("%s: option %s of --help is not in the manual page" % (page, option))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
