#!/usr/bin/env python3
"""Checks the run-data JSON Schema against the shared test files.

Valid files and examples must be I-JSON texts (RFC 7493) that the schema
accepts.  Each invalid file is listed in invalid/cases.txt with the check that
refuses it: "json" (not an I-JSON text), "schema" (refused by the schema) or
"loader" (a rule the schema cannot express, so the schema must accept it).

Markdown files among the further arguments contribute their ```json blocks
as valid documents.

usage: check_schema.py SCHEMA VALID_DIR INVALID_DIR [EXAMPLES_DIR | DOC.md]...
"""
import json
import pathlib
import re
import sys

import jsonschema


class NotIJson(Exception):
    pass


def _refuse_constant(name):
    raise NotIJson(f"{name} is not a JSON value")


def _object(pairs):
    result = {}
    for key, value in pairs:
        if key in result:
            raise NotIJson(f"the key {key!r} is given twice")
        result[key] = value
    return result


def _check_unicode(value):
    """Texts and keys must be Unicode: no unpaired surrogate escapes."""
    stack = [value]
    while stack:
        item = stack.pop()
        if isinstance(item, str):
            item.encode("utf-8")  # raises on a lone surrogate
        elif isinstance(item, dict):
            stack.extend(item.keys())
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)


def read_ijson(path):
    """The document in path, read as strictly as I-JSON asks."""
    data = path.read_bytes()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        text = data.decode("utf-8")
        document = json.loads(text, parse_constant=_refuse_constant, object_pairs_hook=_object)
        _check_unicode(document)
        return document
    except (UnicodeError, ValueError, RecursionError) as error:
        raise NotIJson(str(error)) from error


def read_cases(invalid_dir):
    cases = {}
    for number, line in enumerate((invalid_dir / "cases.txt").read_text("utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        parts = [part.strip() for part in line.split(" | ", 2)]
        if len(parts) != 3 or parts[1] not in ("json", "schema", "loader") or not parts[2]:
            raise SystemExit(f"cases.txt:{number}: malformed line: {line}")
        if parts[0] in cases:
            raise SystemExit(f"cases.txt:{number}: {parts[0]} listed twice")
        cases[parts[0]] = parts[1]
    return cases


def main(argv):
    if len(argv) < 4:
        raise SystemExit(__doc__)
    schema = json.loads(pathlib.Path(argv[1]).read_text("utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    valid_dir, invalid_dir = pathlib.Path(argv[2]), pathlib.Path(argv[3])
    failures = []

    def verdict(path):
        """'json', 'schema' or 'accepted', with a reason."""
        try:
            document = read_ijson(path)
        except NotIJson as error:
            return "json", str(error)
        error = jsonschema.exceptions.best_match(validator.iter_errors(document))
        if error is not None:
            where = "/".join(str(p) for p in error.absolute_path)
            return "schema", f"{where}: {error.message[:200]}"
        return "accepted", ""

    accepted = sorted(valid_dir.glob("*.vdr"))
    documents = []  # (name, text) of the documentation's examples
    for argument in argv[4:]:
        path = pathlib.Path(argument)
        if path.suffix == ".md":
            blocks = re.findall(r"^```json\n(.*?)^```", path.read_text("utf-8"), re.M | re.S)
            if not blocks:
                failures.append(f"{path}: no json example")
            documents += [(f"{path} example {n}", block) for n, block in enumerate(blocks, 1)]
        else:
            accepted += sorted(path.glob("*.vdr"))
    for name, text in documents:
        try:
            document = json.loads(text, parse_constant=_refuse_constant, object_pairs_hook=_object)
        except (ValueError, NotIJson) as error:
            failures.append(f"{name}: not an I-JSON text: {error}")
            continue
        error = jsonschema.exceptions.best_match(validator.iter_errors(document))
        if error is not None:
            failures.append(f"{name}: refused by the schema: {error.message[:200]}")
    if len(accepted) < 2:
        failures.append("no valid files found")
    for path in accepted:
        found, reason = verdict(path)
        if found != "accepted":
            failures.append(f"{path}: refused ({found}): {reason}")

    cases = read_cases(invalid_dir)
    files = {path.name for path in invalid_dir.glob("*.vdr")}
    for name in sorted(files - cases.keys()):
        failures.append(f"{invalid_dir / name}: not listed in cases.txt")
    for name in sorted(cases.keys() - files):
        failures.append(f"cases.txt lists {name}, which does not exist")
    for name in sorted(cases.keys() & files):
        expected = cases[name]
        found, reason = verdict(invalid_dir / name)
        if expected == "loader" and found != "accepted":
            failures.append(f"{name}: listed as beyond the schema, but refused ({found}): {reason}")
        elif expected != "loader" and found != expected:
            failures.append(f"{name}: expected to be refused ({expected}), found {found} {reason}")

    for failure in failures:
        print(failure)
    print(f"{len(accepted)} valid files, {len(documents)} documentation examples, {len(cases)} invalid files, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
