#!/usr/bin/env python3
"""Prints the standings from Korvanel's shared block, once.

    python3 standings.py        (KORVANEL_NAME_SUFFIX is honoured)
Exit code 2 when no plugin is publishing.
"""
import sys

import korvanel


def lap_time(seconds):
    if seconds <= 0:
        return "--"
    minutes = int(seconds // 60)
    return "%d:%06.3f" % (minutes, seconds - minutes * 60)


def main():
    try:
        block = korvanel.open_block()
    except korvanel.NotRunning as e:
        print("no shared block %s: the host with the Korvanel plugin is not running" % e)
        return 2
    with block:
        snap = block.copy()
    s = snap.data.scoring
    print("%s  %s  %d cars  %s" % (korvanel.text(s.trackName), lap_time(s.currentTime),
                                   s.vehicleCount, "whole" if snap.whole else "torn?"))
    for i in range(korvanel.counted(s)):
        v = s.vehicles[i]
        h = v.host
        mark = "*" if i == s.playerIndex else " "
        print("%3d%s %-24s %-10s lap %3d  best %9s  +%.3f" % (
            h.place, mark, korvanel.text(h.driverName), korvanel.text(h.vehicleClass),
            h.lapsCompleted, lap_time(h.bestLapTime), max(h.timeBehindLeader, 0.0)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
