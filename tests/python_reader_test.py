#!/usr/bin/env python3
"""The Python reader against a live plugin: the substitute host runs a
seeded race with the real plugin and keeps publishing the result; the reader
copies the block over and over while it does, and must get whole copies that
hold one publication, the same values the monitor reports, a command that
reaches the plugin, and no block once the host has ended.

    python_reader_test.py HOST PLUGIN MONITOR CONFIG
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "readers", "python"))
import korvanel  # noqa: E402

HOST, PLUGIN, MONITOR, CONFIG = (sys.argv[1:5] + [None] * 4)[:4]
CARS = 40


def consistency_problem(block):
    """What in one copy no single publication can hold, or None."""
    s = block.scoring
    n = korvanel.counted(s)
    names = [korvanel.text(s.vehicles[i].host.driverName) for i in range(n)]
    places = [s.vehicles[i].host.place for i in range(n)]
    if len(set(names)) != n:
        return "a driver twice"
    if places != sorted(places):
        return "places out of order"
    players = [i for i in range(n) if s.vehicles[i].host.isPlayer and s.vehicles[i].host.control in (0, 1)]
    expected = players[0] if players else -1
    if s.playerIndex != expected or block.state.playerIndex != s.playerIndex:
        return "playerIndex disagrees with the entries"
    if expected >= 0 and (s.playerPlace != places[expected] or block.state.playerPlace != s.playerPlace):
        return "playerPlace disagrees with the entries"
    return None


class LivePlugin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="korvanel-python.")
        os.makedirs(os.path.join(cls.work, "Plugins", "KORVANEL"))
        shutil.copy(CONFIG, os.path.join(cls.work, "Plugins", "KORVANEL", "korvanelconf.txt"))
        os.environ["KORVANEL_NAME_SUFFIX"] = ".python%d" % os.getpid()
        with open(os.path.join(cls.work, "hold"), "w"):
            pass
        cls.out = open(os.path.join(cls.work, "host.out"), "w+")
        cls.host = subprocess.Popen(
            [HOST, PLUGIN, "--fast", "--quiet", "--seed", "31", "--cars", str(CARS),
             "--session-length", "300", "--hold-file", "hold", "--hold-limit", "120"],
            cwd=cls.work, stdout=cls.out, stderr=subprocess.STDOUT)
        deadline = time.time() + 120
        while time.time() < deadline and cls.host.poll() is None:
            cls.out.seek(0)
            if "holding while" in cls.out.read():
                return
            time.sleep(0.1)
        cls.out.seek(0)
        raise AssertionError("the host did not reach its hold:\n" + cls.out.read())

    @classmethod
    def tearDownClass(cls):
        if cls.host.poll() is None:
            try:
                os.remove(os.path.join(cls.work, "hold"))
            except FileNotFoundError:
                pass
            cls.host.wait(timeout=60)
        cls.out.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_1_copies_of_a_live_block(self):
        with korvanel.open_block() as block:
            self.assertEqual(block.layout_stamp(), korvanel.LAYOUT_STAMP)
            first = block.sequence()
            whole = 0
            start = time.time()
            while time.time() - start < 1.0:
                snap = block.copy()
                if snap.whole:
                    whole += 1
                    self.assertIsNone(consistency_problem(snap.data))
                    self.assertEqual(snap.data.sequence % 2, 0)
            self.assertGreater(whole, 10)
            self.assertNotEqual(block.sequence(), first, "the counter stood still")
            s = snap.data.scoring
            self.assertEqual(s.vehicleCount, CARS)
            self.assertEqual(korvanel.text(s.trackName), "Korvanel Ring")
            region = block.copy_region("state")
            self.assertTrue(region.whole)
            self.assertEqual(region.data.sessionActive, 1)

    def test_2_same_values_as_the_monitor(self):
        with korvanel.open_block() as block:
            snap = block.copy()
        self.assertTrue(snap.whole)
        shown = json.loads(subprocess.run([MONITOR, "--json"], cwd=self.work, check=True,
                                          capture_output=True, text=True).stdout)
        self.assertTrue(shown["whole"])
        s = snap.data.scoring
        mine = [(korvanel.text(s.vehicles[i].host.driverName), s.vehicles[i].host.place,
                 s.vehicles[i].host.lapsCompleted, s.vehicles[i].classPosition)
                for i in range(korvanel.counted(s))]
        theirs = [(v["driverName"], v["place"], v["lapsCompleted"], v["classPosition"])
                  for v in shown["vehicles"]]
        self.assertEqual(mine, theirs)
        self.assertEqual(s.playerIndex, shown["scoring"]["playerIndex"])
        t = snap.data.timeTable
        self.assertEqual(korvanel.text(t.fastestLapDriver), shown["timeTable"]["fastestLap"]["driver"])
        self.assertAlmostEqual(t.fastestLapTime, shown["timeTable"]["fastestLap"]["time"], places=4)
        self.assertEqual(snap.data.layoutStamp, shown["layoutStamp"])

    def test_3_a_command_reaches_the_plugin(self):
        with korvanel.open_block(writable=True) as block:
            block.write_command("distanceResetCommand", korvanel.RESET_VEHICLE_DISTANCE)
            deadline = time.time() + 10
            while time.time() < deadline:
                if block.copy_region("state").data.distanceResetCommand == 0:
                    break
                time.sleep(0.02)
            state = block.copy_region("state").data
        self.assertEqual(state.distanceResetCommand, 0, "the plugin never took the reset")
        with korvanel.open_block() as block:
            with self.assertRaises(PermissionError):
                block.write_command("selectedClassRow", 1)

    def test_4_example_prints_the_standings(self):
        out = subprocess.run([sys.executable, os.path.join(ROOT, "readers", "python", "standings.py")],
                             check=True, capture_output=True, text=True).stdout
        lines = out.splitlines()
        self.assertIn("whole", lines[0])
        self.assertEqual(len(lines), 1 + CARS)
        self.assertTrue(lines[1].lstrip().startswith("1"))

    def test_5_no_block_after_the_host_ended(self):
        os.remove(os.path.join(self.work, "hold"))
        self.assertEqual(self.host.wait(timeout=60), 0)
        try:
            with korvanel.open_block() as block:
                state = block.copy_region("state").data
            self.assertEqual(state.closed, 1, "a block is left that does not say it is closed")
        except korvanel.NotRunning:
            pass


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
