"""Reading Korvanel's shared block from Python (standard library only).

    import korvanel
    with korvanel.open_block() as block:          # korvanel.NotRunning if absent,
                                                  # korvanel.Refused if not the plugin's
        snap = block.copy()                       # the whole block, one moment;
                                                  # korvanel.BlockLost: open it again
        if snap.whole:
            s = snap.data.scoring
            for i in range(korvanel.counted(s)):
                v = s.vehicles[i]
                print(v.host.place, korvanel.text(v.host.driverName))
        block.write_command("selectedClassRow", 2)   # needs writable=True

Records are ctypes structures with the C header's field names
(include/korvanel/shared_block.h); docs/shared-block.md describes every field.
A copy is whole when the plugin wrote nothing into the block while it was
taken: the block's sequence counter was the same even number before and after.
Works on Windows (the named file mapping) and on Linux (/dev/shm/<name>, which
is what shm_open opens). The name gets the suffix in KORVANEL_NAME_SUFFIX.
"""
import ctypes
import errno
import mmap
import os
import stat
import struct
import sys
import time

NAME = "$Quorvex2KORVANEL$"
SIZE = 151832
NAME_SUFFIX_VARIABLE = "KORVANEL_NAME_SUFFIX"
LAYOUT_MAGIC = 0x4B56
LAYOUT_VERSION = 1
LAYOUT_STAMP = (LAYOUT_MAGIC << 16) | LAYOUT_VERSION
MAX_VEHICLES = 150
COPY_TRIES = 200
# Tries after which copies sleep a millisecond between tries instead of only
# yielding: a plugin descheduled mid-write on a busy machine outlasts many yields.
COPY_EAGER_TRIES = 16
RESET_VEHICLE_DISTANCE = 2
RESET_TRACK_DISTANCE = 3

# The command bytes a display program may write: offsets in the state record.
COMMANDS = {"distanceResetCommand": 40, "selectedClassRow": 42, "kersTimerOn": 43,
            "kersRunning": 44}

# GENERATED from include/korvanel/shared_block_fields.json: do not edit
RECORDS = [
    ('SharedBlock', 151832, [
        ('telemetry', 0, 'TelemetryInfoV2'),
        ('scoring', 1912, 'ScoringInfoV2'),
        ('state', 127480, 'HostState'),
        ('sequence', 127536, 'u32'),
        ('scoringPublished', 127540, 'u8'),
        ('unused127541', 127541, 'u8[3]'),
        ('timeTable', 127544, 'TimeTable'),
        ('sectorTimes', 151604, 'AbsoluteSectorTimes'),
        ('dataLockAddress', 151824, 'u32'),
        ('layoutStamp', 151828, 'u32'),
    ]),
    ('TelemetryInfoV2', 1912, [
        ('telemetry', 0, 'HostTelemetry'),
        ('estimatedLapTime', 1888, 'f32'),
        ('lapsOfFuelLeft', 1892, 'f32'),
        ('fuelPerSecond', 1896, 'f32'),
        ('lastLapFuel', 1900, 'f32'),
        ('fuelPerLap', 1904, 'f32'),
        ('distancePerFuel', 1908, 'f32'),
    ]),
    ('HostTelemetry', 1888, [
        ('passthrough0', 0, 'u8[4]'),
        ('deltaTime', 4, 'f64'),
        ('passthrough12', 12, 'u8[8]'),
        ('lapNumber', 20, 'i32'),
        ('lapStartTime', 24, 'f64'),
        ('vehicleName', 32, 'char[64]'),
        ('passthrough96', 96, 'u8[64]'),
        ('position', 160, 'f64[3]'),
        ('localVelocity', 184, 'f64[3]'),
        ('passthrough208', 208, 'u8[316]'),
        ('fuelLevel', 524, 'f64'),
        ('passthrough532', 532, 'u8[1356]'),
    ]),
    ('ScoringInfoV2', 125568, [
        ('trackName', 0, 'char[64]'),
        ('session', 64, 'i32'),
        ('padding68', 68, 'u8[4]'),
        ('currentTime', 72, 'f64'),
        ('passthrough80', 80, 'f64'),
        ('passthrough88', 88, 'i32'),
        ('padding92', 92, 'u8[4]'),
        ('lapLength', 96, 'f64'),
        ('hostText', 104, 'char[2000]'),
        ('vehicleCount', 2104, 'i32'),
        ('phase', 2108, 'u8'),
        ('passthrough2109', 2109, 'i8'),
        ('passthrough2110', 2110, 'i16'),
        ('passthrough2112', 2112, 'i8'),
        ('passthrough2113', 2113, 'i8'),
        ('passthrough2114', 2114, 'i8'),
        ('realtimeFlag', 2115, 'u8'),
        ('passthrough2116', 2116, 'u8[32]'),
        ('passthrough2148', 2148, 'u8[64]'),
        ('padding2212', 2212, 'u8[4]'),
        ('passthrough2216', 2216, 'f64'),
        ('passthrough2224', 2224, 'f64'),
        ('passthrough2232', 2232, 'f64'),
        ('passthrough2240', 2240, 'f64'),
        ('passthrough2248', 2248, 'u8[24]'),
        ('passthrough2272', 2272, 'f64'),
        ('passthrough2280', 2280, 'f64'),
        ('passthrough2288', 2288, 'u8[256]'),
        ('vehicles', 2544, 'VehicleInfoV2[150]'),
        ('playerPlace', 125544, 'i32'),
        ('playerClassPosition', 125548, 'i32'),
        ('playerIndex', 125552, 'i32'),
        ('classLeaderIndex', 125556, 'i32'),
        ('noClassGroup', 125560, 'u8'),
        ('unused125561', 125561, 'u8[7]'),
    ]),
    ('VehicleInfoV2', 820, [
        ('host', 0, 'HostVehicle'),
        ('unused584', 584, 'u8[4]'),
        ('teamMember', 588, 'u8'),
        ('unused589', 589, 'u8[3]'),
        ('classPosition', 592, 'i32'),
        ('topSpeed', 596, 'f32'),
        ('lapProgress', 600, 'f32'),
        ('unused604', 604, 'u8[64]'),
        ('driverNameUpper', 668, 'char[64]'),
        ('vehicleClassUpper', 732, 'char[32]'),
        ('inClassGroup', 764, 'u8'),
        ('unused765', 765, 'u8[3]'),
        ('previousGroupMember', 768, 'i32'),
        ('timeBehindClassLeader', 772, 'f32'),
        ('lapDiffToClassLeader', 776, 'f32'),
        ('timeBehindClassAhead', 780, 'f32'),
        ('lapDiffToClassAhead', 784, 'f32'),
        ('timeGapToPlayer', 788, 'f32'),
        ('lapGapToPlayer', 792, 'f32'),
        ('estimatedPosition', 796, 'f64[3]'),
    ]),
    ('HostVehicle', 584, [
        ('passthrough0', 0, 'u8[4]'),
        ('driverName', 4, 'char[32]'),
        ('vehicleName', 36, 'char[64]'),
        ('lapsCompleted', 100, 'i16'),
        ('sector', 102, 'i8'),
        ('vehicleStatus', 103, 'i8'),
        ('lapDistance', 104, 'f64'),
        ('passthrough112', 112, 'f64'),
        ('passthrough120', 120, 'f64'),
        ('bestSector1', 128, 'f64'),
        ('bestSector2', 136, 'f64'),
        ('bestLapTime', 144, 'f64'),
        ('lastSector1', 152, 'f64'),
        ('lastSector2', 160, 'f64'),
        ('lastLapTime', 168, 'f64'),
        ('currentSector1', 176, 'f64'),
        ('currentSector2', 184, 'f64'),
        ('passthrough192', 192, 'i16'),
        ('passthrough194', 194, 'i16'),
        ('isPlayer', 196, 'u8'),
        ('control', 197, 'i8'),
        ('inPits', 198, 'u8'),
        ('place', 199, 'u8'),
        ('vehicleClass', 200, 'char[32]'),
        ('timeBehindNext', 232, 'f64'),
        ('lapsBehindNext', 240, 'i32'),
        ('timeBehindLeader', 244, 'f64'),
        ('lapsBehindLeader', 252, 'i32'),
        ('passthrough256', 256, 'f64'),
        ('position', 264, 'f64[3]'),
        ('localVelocity', 288, 'f64[3]'),
        ('localAcceleration', 312, 'f64[3]'),
        ('orientation', 336, 'f64[9]'),
        ('passthrough408', 408, 'f64[3]'),
        ('passthrough432', 432, 'f64[3]'),
        ('passthrough456', 456, 'u8[4]'),
        ('passthrough460', 460, 'i32'),
        ('passthrough464', 464, 'f64'),
        ('passthrough472', 472, 'f64'),
        ('passthrough480', 480, 'u8[24]'),
        ('passthrough504', 504, 'u8[4]'),
        ('passthrough508', 508, 'u8[76]'),
    ]),
    ('HostState', 56, [
        ('sessionActive', 0, 'u8'),
        ('trackLoaded', 1, 'u8'),
        ('inRealtime', 2, 'u8'),
        ('noPlayerVehicle', 3, 'u8'),
        ('playerPlace', 4, 'i32'),
        ('playerIndex', 8, 'i32'),
        ('timeSinceScoring', 12, 'f32'),
        ('updateCount', 16, 'i32'),
        ('dataUpdated', 20, 'u8'),
        ('padding21', 21, 'u8[3]'),
        ('vehicleDistance', 24, 'f64'),
        ('vehicleTrackDistance', 32, 'f64'),
        ('distanceResetCommand', 40, 'u8'),
        ('shutDown', 41, 'u8'),
        ('selectedClassRow', 42, 'u8'),
        ('kersTimerOn', 43, 'u8'),
        ('kersRunning', 44, 'u8'),
        ('padding45', 45, 'u8[3]'),
        ('kersRemaining', 48, 'f32'),
        ('closed', 52, 'u8'),
        ('padding53', 53, 'u8[3]'),
    ]),
    ('TimeTable', 24060, [
        ('entries', 0, 'TimeTableEntry[150]'),
        ('fastestLapTime', 24000, 'f32'),
        ('fastestLapSector1', 24004, 'f32'),
        ('fastestLapSector2', 24008, 'f32'),
        ('fastestLapDriver', 24012, 'char[32]'),
        ('earlyTimesSeen', 24044, 'u8'),
        ('reserved24045', 24045, 'u8[3]'),
        ('playerBestLapTime', 24048, 'f32'),
        ('playerBestSector1', 24052, 'f32'),
        ('playerBestSector2', 24056, 'f32'),
    ]),
    ('TimeTableEntry', 160, [
        ('driverName', 0, 'char[32]'),
        ('vehicleName', 32, 'char[64]'),
        ('vehicleClass', 96, 'char[32]'),
        ('vehicleIndex', 128, 'i32'),
        ('place', 132, 'i32'),
        ('bestSector1', 136, 'f32'),
        ('bestSector2', 140, 'f32'),
        ('bestLapTime', 144, 'f32'),
        ('topSpeed', 148, 'f32'),
        ('stintTopSpeed', 152, 'f32'),
        ('inUse', 156, 'u8'),
        ('isPlayerVehicle', 157, 'u8'),
        ('seenThisUpdate', 158, 'u8'),
        ('vehicleStatus', 159, 'i8'),
    ]),
    ('AbsoluteSectorTimes', 220, [
        ('recordHolder', 0, 'char[3][32]'),
        ('reserved96', 96, 'u8[96]'),
        ('recordTime', 192, 'f32[3]'),
        ('playerRecordTime', 204, 'f32[3]'),
        ('earlyTimesSeen', 216, 'u8'),
        ('reserved217', 217, 'u8[3]'),
    ]),
]
# END GENERATED

_SCALARS = {"u8": ctypes.c_uint8, "i8": ctypes.c_int8, "i16": ctypes.c_int16,
            "i32": ctypes.c_int32, "u32": ctypes.c_uint32, "f32": ctypes.c_float,
            "f64": ctypes.c_double, "char": ctypes.c_char}


def _build_records():
    layouts = {name: (size, fields) for name, size, fields in RECORDS}
    built = {}

    def ctype(type_text):
        base = type_text.split("[")[0]
        dims = [int(d.rstrip("]")) for d in type_text.split("[")[1:]]
        t = _SCALARS.get(base) or build(base)
        for d in reversed(dims):
            t = t * d
        return t

    def build(name):
        if name not in built:
            size, fields = layouts[name]
            namespace = {"_pack_": 4, "_layout_": "ms",
                         "_fields_": [(f, ctype(t)) for f, _, t in fields]}
            cls = type(name, (ctypes.LittleEndianStructure,), namespace)
            if ctypes.sizeof(cls) != size:
                raise ImportError("%s is %d bytes, not %d" % (name, ctypes.sizeof(cls), size))
            built[name] = cls
        return built[name]

    for name in layouts:
        build(name)
    return built


_records = _build_records()
globals().update(_records)
SEQUENCE_OFFSET = SharedBlock.sequence.offset  # noqa: F821 (built above)
STATE_OFFSET = SharedBlock.state.offset  # noqa: F821


def text(field):
    """A fixed-size text field (bytes from ctypes) as a str."""
    raw = field.value if hasattr(field, "value") else bytes(field)
    return raw.split(b"\0", 1)[0].decode("latin-1")


def counted(scoring):
    """How many entries of a ScoringInfoV2 belong to its update."""
    return max(0, min(scoring.vehicleCount, MAX_VEHICLES))


def block_name(suffix=None):
    """The block's name with the suffix (KORVANEL_NAME_SUFFIX when None)."""
    if suffix is None:
        suffix = os.environ.get(NAME_SUFFIX_VARIABLE, "")
    return NAME + suffix


class NotRunning(Exception):
    """No block of that name: no plugin is publishing."""


class UnknownLayout(Exception):
    """The block's layout stamp is not one this module knows."""


class Refused(Exception):
    """Something is there under the block's name that the plugin of this user
    cannot have made, or that this user may not open; nothing was read from it
    and nothing is written into it. `reason` is one of the REFUSALS keys; the
    message says it in words."""

    def __init__(self, name, reason):
        Exception.__init__(self, "%s: %s" % (name, REFUSALS[reason]))
        self.reason = reason


REFUSALS = {
    "not-a-file": "not a shared-memory file (a FIFO, link, socket or folder): "
                  "not the plugin's, refused",
    "other-owner": "belongs to another user, not to the user running this reader: "
                   "not this user's plugin, refused (it may be a fake)",
    "too-small": "smaller than the block: not a whole block of the plugin, refused",
    "no-permission": "there but cannot be opened (another user's, or no permission)",
}


class BlockLost(Exception):
    """The open block shrank or its name now leads elsewhere (another program
    truncated, removed or replaced it): close it and open the block again."""


class Snapshot:
    """One copy of the block (or of a region): `data` the record, `whole`
    whether it comes from one moment."""

    def __init__(self, data, whole):
        self.data = data
        self.whole = whole


class _PosixView:
    # Linux's shm_open names are files here; the reader opens the file itself.
    def __init__(self, name, writable):
        self._path = "/dev/shm/" + name
        # Without O_NONBLOCK a FIFO of the block's name would block the open
        # for ever; without O_NOFOLLOW a link could lead anywhere.
        flags = ((os.O_RDWR if writable else os.O_RDONLY) | os.O_NONBLOCK | os.O_NOFOLLOW |
                 getattr(os, "O_CLOEXEC", 0))
        try:
            fd = os.open(self._path, flags)
        except FileNotFoundError:
            raise NotRunning(name) from None
        except OSError as e:
            reason = "not-a-file" if e.errno in (errno.ELOOP, errno.ENXIO) else "no-permission"
            raise Refused(name, reason) from None
        try:
            st = os.fstat(fd)
            if not stat.S_ISREG(st.st_mode):
                raise Refused(name, "not-a-file")
            if st.st_uid != os.geteuid():
                raise Refused(name, "other-owner")
            if st.st_size < SIZE:
                raise Refused(name, "too-small")
            prot = mmap.PROT_READ | (mmap.PROT_WRITE if writable else 0)
            self._map = mmap.mmap(fd, SIZE, mmap.MAP_SHARED, prot)
        except BaseException:
            os.close(fd)
            raise
        self._fd = fd
        self._identity = (st.st_dev, st.st_ino)

    def state(self):
        """"intact", "shrunk" (reading the view would kill the process) or
        "replaced" (the name leads to another object or none)."""
        if os.fstat(self._fd).st_size < SIZE:
            return "shrunk"
        try:
            named = os.stat(self._path, follow_symlinks=False)
        except OSError:
            return "replaced"
        return "intact" if (named.st_dev, named.st_ino) == self._identity else "replaced"

    def read(self, offset, size):
        # Through the descriptor, not the view: a file cut short meanwhile
        # gives a short read here instead of a fault.
        data = os.pread(self._fd, size, offset)
        if len(data) < size:
            raise BlockLost("the block shrank while it was read")
        return data

    def u32(self, offset):
        return struct.unpack_from("<I", self._map, offset)[0]

    def write_u8(self, offset, value):
        self._map[offset] = value

    def close(self):
        self._map.close()
        os.close(self._fd)


class _WindowsView:
    FILE_MAP_WRITE = 0x0002
    FILE_MAP_READ = 0x0004

    def __init__(self, name, writable):
        k32 = ctypes.WinDLL("kernel32", use_last_error=True)
        k32.OpenFileMappingW.restype = ctypes.c_void_p
        k32.OpenFileMappingW.argtypes = [ctypes.c_uint32, ctypes.c_int, ctypes.c_wchar_p]
        k32.MapViewOfFile.restype = ctypes.c_void_p
        k32.MapViewOfFile.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32,
                                      ctypes.c_uint32, ctypes.c_size_t]
        k32.UnmapViewOfFile.argtypes = [ctypes.c_void_p]
        k32.CloseHandle.argtypes = [ctypes.c_void_p]
        self._k32 = k32
        access = self.FILE_MAP_READ | (self.FILE_MAP_WRITE if writable else 0)
        self._handle = k32.OpenFileMappingW(access, 0, name)
        if not self._handle:
            raise NotRunning(name)
        self._address = k32.MapViewOfFile(self._handle, access, 0, 0, SIZE)
        if not self._address:
            k32.CloseHandle(self._handle)
            raise NotRunning(name + " cannot be mapped")

    @staticmethod
    def state():
        # A section keeps its size, and a view keeps its section.
        return "intact"

    def read(self, offset, size):
        return ctypes.string_at(self._address + offset, size)

    def u32(self, offset):
        return ctypes.c_uint32.from_address(self._address + offset).value

    def write_u8(self, offset, value):
        ctypes.c_uint8.from_address(self._address + offset).value = value

    def close(self):
        self._k32.UnmapViewOfFile(self._address)
        self._k32.CloseHandle(self._handle)


class Block:
    """An open block. Use open_block()."""

    def __init__(self, suffix=None, writable=False):
        view = _WindowsView if sys.platform == "win32" else _PosixView
        self.name = block_name(suffix)
        self.writable = writable
        self._view = view(self.name, writable)
        stamp = self.layout_stamp()
        if stamp not in (0, LAYOUT_STAMP):
            self.close()
            raise UnknownLayout("layout stamp 0x%08X" % stamp)

    def layout_stamp(self):
        """LAYOUT_STAMP, or 0 from a plugin without the read protocol."""
        return self._view.u32(SharedBlock.layoutStamp.offset)  # noqa: F821

    def check(self):
        """"intact" while the block is still the one the plugin publishes
        into; "shrunk" or "replaced" when another program truncated, removed
        or replaced it (open the block again)."""
        return self._view.state()

    def sequence(self):
        """The counter now: odd while the plugin writes. A counter that stops
        moving (with the state record's updateCount) means no plugin is
        publishing any more."""
        return self._view.u32(SEQUENCE_OFFSET)

    def copy_bytes(self, offset, size, tries=COPY_TRIES):
        """(bytes, whole) of `size` bytes at `offset`, with at most `tries`
        tries; when no try was whole, the last one, which may be torn. Raises
        BlockLost when the block shrank or was replaced (checked first, with
        two system calls)."""
        state = self.check()
        if state != "intact":
            raise BlockLost("the block was %s under the reader" % state)
        for attempt in range(1, max(1, tries) + 1):
            last = attempt >= tries
            before = self._view.u32(SEQUENCE_OFFSET)
            if before & 1 and not last:
                self._pause(attempt)
                continue
            # Each read below is a call into C that copies; on x86 loads are
            # not reordered with loads, so the second reading of the counter
            # sees any write that overlapped the copy.
            data = self._view.read(offset, size)
            if not before & 1 and self._view.u32(SEQUENCE_OFFSET) == before:
                return data, True
            if last:
                return data, False
            self._pause(attempt)
        raise AssertionError("unreachable")

    @staticmethod
    def _pause(attempt):
        time.sleep(0 if attempt < COPY_EAGER_TRIES else 0.001)

    def copy(self, tries=COPY_TRIES):
        """The whole block as a Snapshot of a SharedBlock. A block without the
        layout stamp has no counter: its copies are never whole."""
        data, whole = self.copy_bytes(0, SIZE, tries)
        whole = whole and self.layout_stamp() == LAYOUT_STAMP
        return Snapshot(SharedBlock.from_buffer_copy(data), whole)  # noqa: F821

    def copy_region(self, name, tries=COPY_TRIES):
        """One region of SharedBlock by field name ("scoring", "state", ...)
        as a Snapshot of its record."""
        field = getattr(SharedBlock, name)  # noqa: F821
        record = dict((f, t) for f, t in SharedBlock._fields_)[name]  # noqa: F821
        data, whole = self.copy_bytes(field.offset, field.size, tries)
        whole = whole and self.layout_stamp() == LAYOUT_STAMP
        return Snapshot(record.from_buffer_copy(data), whole)

    def write_command(self, command, value):
        """Writes one command byte of the state record (see COMMANDS); the
        plugin takes it at its next update."""
        if not self.writable:
            raise PermissionError("the block was opened read-only")
        if self.check() != "intact":
            raise BlockLost("the block was %s under the reader" % self.check())
        self._view.write_u8(STATE_OFFSET + COMMANDS[command], int(value) & 0xFF)

    def close(self):
        if self._view is not None:
            self._view.close()
            self._view = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def open_block(suffix=None, writable=False):
    """Opens the block read-only (or for command writes). Raises NotRunning
    when there is none, Refused for one the plugin of this user cannot have
    made (not a regular file, another user's, too small: on Linux), and
    UnknownLayout for a layout this module does not know."""
    return Block(suffix, writable)
