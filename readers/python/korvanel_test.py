#!/usr/bin/env python3
"""The Python reader's layout, the C reader header and the generated files
against the one field description.

    korvanel_test.py [--layout-program PROGRAM [--runner RUNNER]]

PROGRAM is tests/field_layout_print built from the C header (RUNNER: "wine"
for the Windows build); without it the C header is not compared.
"""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "scripts"))

import korvanel  # noqa: E402
import shared_block_fields  # noqa: E402


def _option(name):
    args = sys.argv[1:]
    return args[args.index(name) + 1] if name in args else None


LAYOUT_PROGRAM = _option("--layout-program") or os.environ.get("KORVANEL_LAYOUT_PROGRAM")
RUNNER = _option("--runner")


def description():
    desc = shared_block_fields.load()
    problems = shared_block_fields.validate(desc)
    if problems:
        raise AssertionError("\n".join(problems))
    return desc


class FieldDescription(unittest.TestCase):
    def test_generated_files_are_current(self):
        self.assertEqual(shared_block_fields.main(["--check"]), 0)

    def test_python_records_match_every_field(self):
        desc = description()
        for r in desc["records"]:
            cls = getattr(korvanel, r["name"])
            self.assertEqual(korvanel.ctypes.sizeof(cls), r["size"], r["name"])
            for f in r["fields"]:
                attr = getattr(cls, f["name"])
                self.assertEqual((attr.offset, attr.size), (f["offset"], f["size"]),
                                 "%s.%s" % (r["name"], f["name"]))

    @unittest.skipUnless(LAYOUT_PROGRAM, "no layout program given")
    def test_c_header_matches_every_field(self):
        command = ([RUNNER] if RUNNER else []) + [LAYOUT_PROGRAM]
        out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
        printed = {}
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3:
                printed[parts[0]] = (int(parts[1]), int(parts[2]))
            elif len(parts) == 2:
                block_size = int(parts[1])
        desc = description()
        expected = {"%s.%s" % (r["name"], f["name"]): (f["offset"], f["size"])
                    for r in desc["records"] for f in r["fields"]}
        self.assertEqual(block_size, desc["size"])
        self.assertEqual(sorted(printed), sorted(expected))
        for key, value in expected.items():
            self.assertEqual(printed[key], value, key)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
