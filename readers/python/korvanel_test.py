#!/usr/bin/env python3
"""The Python reader's layout, the C reader header and the generated files
against the one field description.

    korvanel_test.py [--layout-program PROGRAM [--runner RUNNER]]

PROGRAM is tests/field_layout_print built from the C header (RUNNER: "wine"
for the Windows build); without it the C header is not compared.
"""
import os
import signal
import struct
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


@unittest.skipUnless(sys.platform.startswith("linux"), "the block is a file in /dev/shm on Linux")
class HostileBlocks(unittest.TestCase):
    """What another program or user can put under the block's name: refused
    with a reason, or survived, never a hang or a crash."""

    def setUp(self):
        self.suffix = ".pyhostile%d.%s" % (os.getpid(), self._testMethodName)
        self.path = "/dev/shm/" + korvanel.block_name(self.suffix)

    def tearDown(self):
        if os.path.lexists(self.path):
            os.remove(self.path)

    def make_block(self, marker, size=korvanel.SIZE):
        with open(self.path, "wb") as f:
            f.truncate(size)
            if size >= korvanel.SIZE:
                f.seek(korvanel.SharedBlock.layoutStamp.offset)
                f.write(struct.pack("<I", korvanel.LAYOUT_STAMP))
                f.seek(korvanel.STATE_OFFSET + korvanel.HostState.updateCount.offset)
                f.write(struct.pack("<i", marker))

    def refusal(self, writable=False):
        def hung(*_):
            raise TimeoutError("open_block hung")
        previous = signal.signal(signal.SIGALRM, hung)
        signal.alarm(5)
        try:
            korvanel.open_block(self.suffix, writable).close()
        except korvanel.Refused as e:
            return e.reason
        finally:
            signal.alarm(0)
            signal.signal(signal.SIGALRM, previous)
        return "opened"

    def test_refuses_what_the_plugin_never_makes(self):
        os.mkfifo(self.path, 0o600)
        self.assertEqual(self.refusal(), "not-a-file")
        self.assertEqual(self.refusal(writable=True), "not-a-file")
        os.remove(self.path)
        os.symlink("/dev/zero", self.path)
        self.assertEqual(self.refusal(), "not-a-file")
        os.remove(self.path)
        self.make_block(0, 4096)
        self.assertEqual(self.refusal(), "too-small")
        os.remove(self.path)
        self.make_block(7)
        if os.geteuid() != 0:
            self.skipTest("giving the block to another user needs root")
        os.chown(self.path, 65534, 65534)
        os.chmod(self.path, 0o666)
        self.assertEqual(self.refusal(writable=True), "other-owner")
        with self.assertRaisesRegex(korvanel.Refused, "another user"):
            korvanel.open_block(self.suffix)

    def test_survives_a_block_that_shrinks_or_is_replaced(self):
        self.make_block(1)
        with korvanel.open_block(self.suffix, writable=True) as block:
            self.assertTrue(block.copy().whole)
            os.truncate(self.path, 4096)
            self.assertEqual(block.check(), "shrunk")
            with self.assertRaises(korvanel.BlockLost):
                block.copy()
            with self.assertRaises(korvanel.BlockLost):
                block.write_command("selectedClassRow", 2)
        os.remove(self.path)
        self.make_block(1)
        with korvanel.open_block(self.suffix) as block:
            os.remove(self.path)
            self.make_block(2)
            self.assertEqual(block.check(), "replaced")
            with self.assertRaises(korvanel.BlockLost):
                block.copy_region("state")
        with korvanel.open_block(self.suffix) as block:
            self.assertEqual(block.copy_region("state").data.updateCount, 2)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
