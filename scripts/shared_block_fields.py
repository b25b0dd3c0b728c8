#!/usr/bin/env python3
"""Generates what follows from the one description of the shared block's
fields, include/korvanel/shared_block_fields.json:

  readers/python/korvanel.py      the layout table between its GENERATED marks
  docs/shared-block.md            the field tables between its GENERATED marks
  tests/shared_block_fields.inc   the field list of the layout test

  shared_block_fields.py          write them
  shared_block_fields.py --check  exit 1 when one of them is not what the
                                  description gives (CI runs this)

The description is checked first: every record's fields must follow each
other without gap or overlap and fill the record's size exactly.
"""
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DESCRIPTION = os.path.join(ROOT, "include", "korvanel", "shared_block_fields.json")
BEGIN = "GENERATED from include/korvanel/shared_block_fields.json: do not edit"
END = "END GENERATED"

SCALARS = {"u8": 1, "i8": 1, "i16": 2, "i32": 4, "u32": 4, "f32": 4, "f64": 8, "char": 1}
C_TYPES = {"u8": "uint8", "i8": "int8", "i16": "int16", "i32": "int32", "u32": "uint32",
           "f32": "float", "f64": "double", "char": "char"}
TYPE_RE = re.compile(r"^([A-Za-z0-9]+)((?:\[\d+\])*)$")


def parse_type(text):
    """'f64[3]' -> ('f64', [3])"""
    m = TYPE_RE.match(text)
    if not m:
        raise ValueError("bad type " + text)
    return m.group(1), [int(d) for d in re.findall(r"\d+", m.group(2))]


def load(path=DESCRIPTION):
    with open(path, encoding="utf-8") as f:
        desc = json.load(f)
    records = {r["name"]: r for r in desc["records"]}
    for r in desc["records"]:
        fields = []
        for raw in r["fields"]:
            name, offset, type_text, unit, meaning = raw[:5]
            writer = raw[5] if len(raw) > 5 else r["writer"]
            fields.append({"name": name, "offset": offset, "type": type_text, "unit": unit,
                           "meaning": meaning, "writer": writer})
        r["fields"] = fields
    desc["byName"] = records
    return desc


def type_size(desc, type_text):
    base, dims = parse_type(type_text)
    size = SCALARS[base] if base in SCALARS else desc["byName"][base]["size"]
    for d in dims:
        size *= d
    return size


def validate(desc):
    problems = []
    for r in desc["records"]:
        at = 0
        for f in r["fields"]:
            try:
                size = type_size(desc, f["type"])
            except (KeyError, ValueError):
                problems.append("%s.%s: unknown type %s" % (r["name"], f["name"], f["type"]))
                continue
            if f["offset"] != at:
                problems.append("%s.%s at %d, expected %d" % (r["name"], f["name"], f["offset"], at))
            f["size"] = size
            at = f["offset"] + size
        if at != r["size"]:
            problems.append("%s: fields end at %d, the record is %d bytes" % (r["name"], at, r["size"]))
    if desc["byName"]["SharedBlock"]["size"] != desc["size"]:
        problems.append("SharedBlock size differs from the block's")
    return problems


def python_table(desc):
    lines = ["RECORDS = ["]
    for r in desc["records"]:
        lines.append("    (%r, %d, [" % (r["name"], r["size"]))
        for f in r["fields"]:
            lines.append("        (%r, %d, %r)," % (f["name"], f["offset"], f["type"]))
        lines.append("    ]),")
    lines.append("]")
    return "\n".join(lines)


def c_type_text(type_text):
    base, dims = parse_type(type_text)
    name = C_TYPES.get(base, base)
    return name + "".join("[%d]" % d for d in dims)


def md_escape(text):
    return text.replace("|", "\\|")


def docs_tables(desc):
    out = []
    block = desc["byName"]["SharedBlock"]
    starts = {f["type"]: f["offset"] for f in block["fields"]}
    for r in desc["records"]:
        where = ""
        if r["name"] in starts:
            where = " (block offset %d)" % starts[r["name"]]
        out.append("### %s, %d bytes%s\n" % (r["name"], r["size"], where))
        out.append(r["about"] + "\n")
        out.append("| Offset | Size | Type | Field | Unit | Meaning | Written by |")
        out.append("|---:|---:|---|---|---|---|---|")
        for f in r["fields"]:
            out.append("| %d | %d | %s | `%s` | %s | %s | %s |" % (
                f["offset"], f["size"], c_type_text(f["type"]), f["name"], f["unit"],
                md_escape(f["meaning"]), md_escape(f["writer"])))
        out.append("")
    return "\n".join(out).rstrip("\n")


def inc_list(desc):
    lines = ["/* " + BEGIN + ". One line per field: the C record and the field. */"]
    for r in desc["records"]:
        for f in r["fields"]:
            lines.append("KORVANEL_FIELD(%s, %s)" % (r["name"], f["name"]))
    return "\n".join(lines) + "\n"


def splice(text, body, comment):
    """Replaces what lies between the marks (comment lines of `comment`)."""
    pattern = re.compile(r"(^%s %s[^\n]*\n).*?(^%s %s)" % (
        re.escape(comment), re.escape(BEGIN), re.escape(comment), re.escape(END)), re.S | re.M)
    if not pattern.search(text):
        raise ValueError("marks not found")
    return pattern.sub(lambda m: m.group(1) + body + "\n" + m.group(2), text, count=1)


def outputs(desc):
    py_path = os.path.join(ROOT, "readers", "python", "korvanel.py")
    md_path = os.path.join(ROOT, "docs", "shared-block.md")
    inc_path = os.path.join(ROOT, "tests", "shared_block_fields.inc")
    with open(py_path, encoding="utf-8") as f:
        py = splice(f.read(), python_table(desc), "#")
    with open(md_path, encoding="utf-8") as f:
        md = splice(f.read(), docs_tables(desc), "<!--")
    return {py_path: py, md_path: md, inc_path: inc_list(desc)}


def main(argv):
    desc = load()
    problems = validate(desc)
    for p in problems:
        print("description: " + p)
    if problems:
        return 1
    stale = []
    for path, text in outputs(desc).items():
        current = None
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                current = f.read()
        if current == text:
            continue
        if "--check" in argv:
            stale.append(os.path.relpath(path, ROOT))
        else:
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
            print("wrote " + os.path.relpath(path, ROOT))
    if stale:
        print("not generated from the description (run scripts/shared_block_fields.py): "
              + ", ".join(stale))
        return 1
    if "--check" in argv:
        print("description: %d records, %d fields, all generated files current" % (
            len(desc["records"]), sum(len(r["fields"]) for r in desc["records"])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
