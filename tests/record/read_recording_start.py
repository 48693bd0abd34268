#!/usr/bin/python3
"""Reads the start block of a uavsim recording (*.uavrec), written from
docs/recording-format.md alone.

    read_recording_start.py FILE.uavrec            prints the start as JSON
    read_recording_start.py --check DUMP_PROGRAM DIR
        runs DUMP_PROGRAM DIR (it makes DIR/window.uavrec in the window and
        DIR/program.json, the values the program held), decodes the recording
        and compares; exit status 0 when every value is the same.
"""

import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib


class Bad(Exception):
    pass


class Reader:
    """Little-endian fields from a byte string, in order."""

    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise Bad("the data ends inside a value at byte %d" % self.pos)
        b = self.data[self.pos:self.pos + n]
        self.pos += n
        return b

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def i64(self):
        return struct.unpack("<q", self.take(8))[0]

    def f64(self):
        return struct.unpack("<d", self.take(8))[0]

    def f64s(self, n):
        return [self.f64() for _ in range(n)]

    def vec3(self):
        return self.f64s(3)

    def vec3s(self, n):
        out = []
        for _ in range(n):
            out += self.vec3()
        return out

    def mat3(self):
        return self.f64s(9)

    def bool(self):
        b = self.u8()
        if b > 1:
            raise Bad("a bool holds %d" % b)
        return b == 1

    def sep(self):
        b = self.u8()
        if b not in (ord("."), ord(",")):
            raise Bad("a decimal separator holds byte %d" % b)
        return chr(b)

    def text(self):
        n = self.u32()
        return self.take(n).decode("utf-8")

    def texts(self, n):
        return [self.text() for _ in range(n)]


def header_and_start_payload(data):
    r = Reader(data)
    if r.take(8) != b"UAVREC\r\n":
        raise Bad("not a uavsim recording")
    version = r.u16()
    n = r.u16()
    program = r.take(n).decode("utf-8")
    crc = r.u32()
    if crc != zlib.crc32(data[:r.pos - 4]):
        raise Bad("the header's check sum is wrong")
    if version != 2:
        raise Bad("format version %d (written by %s)" % (version, program))
    block_start = r.pos
    if r.take(4) != b"UBLK":
        raise Bad("no block mark")
    if r.u32() != 0:
        raise Bad("the first block is not block 0")
    length = r.u32()
    if length > 4 << 20:
        raise Bad("block 0 is longer than 4 MiB")
    payload = r.take(length)
    if r.u32() != zlib.crc32(data[block_start:r.pos - 4]):
        raise Bad("block 0's check sum is wrong")
    return program, payload


def decode_start(payload):
    r = Reader(payload)
    start = {}
    start["clockMs"] = r.i64()
    start["flightTick"] = r.i64()

    s = start["state"] = {}
    s["orient"] = r.mat3()
    s["earthToBody"] = r.mat3()
    s["bodyToEarth"] = r.mat3()
    s["velocity"] = r.vec3()
    s["omegaEarth"] = r.vec3()
    s["omegaBody"] = r.vec3()
    s["airflowBody"] = r.vec3()
    s["posH posX posZ posD roll pitch yaw"] = r.f64s(7)
    s["elemAirflow"] = r.vec3s(8)
    s["elemForceBody"] = r.vec3s(8)
    s["elemForceEarth"] = r.vec3s(8)
    s["elemCP"] = r.vec3s(8)
    s["thrustBody"] = r.vec3()
    s["servoPos"] = r.f64s(8)
    s["wind"] = r.vec3()
    s["air and dt"] = r.f64s(6)
    s["running"] = r.bool()
    s["fault"] = r.u8()

    a = start["aircraft"] = {}
    for i in range(8):
        e = a["element%d" % i] = {}
        e["active"] = r.bool()
        e["pos"] = r.vec3()
        e["len chord area"] = r.f64s(3)
        e["normal chordVec chordDir spanDir"] = r.vec3s(4)
        e["k efTr servoSteps servoSpeed"] = r.f64s(4)
    a["inertia"] = r.vec3()
    a["mass thrustMax vycos"] = r.f64s(3)
    a["motorPos thrustVec weight"] = r.vec3s(3)
    a["kvis"] = r.f64()
    a["mix"] = r.f64s(32)

    ap = start["autopilot"] = {}
    ap["mode"] = r.u8()
    ap["loopTimerOn"] = r.bool()
    ap["sliders"] = [r.i32() for _ in range(4)]
    ap["channels"] = r.f64s(4)
    ap["servoCmd"] = r.f64s(8)
    ap["servoTimeSet"] = r.bool()
    ap["servoTimeMs"] = r.i64()
    ap["loops"] = r.f64s(8 * 8)
    ap["stabiliser"] = r.f64s(7)
    ap["return"] = r.f64s(6)
    ap["headingByAilerons"] = r.bool()
    ap["altitudeCaptured"] = r.bool()
    ap["belowCritical"] = r.bool()
    ap["returnState"] = r.f64s(4)
    ap["tuningOn"] = r.bool()
    ap["tuningPhase"] = r.i32()
    ap["tuningStartTimeMs"] = r.i64()
    ap["tuningBases"] = r.f64s(2)
    ap["tuningCounts"] = [r.i32() for _ in range(4)]
    ap["tuningErrorSums"] = r.f64s(2)

    start["sliders"] = [r.i32() for _ in range(4)]
    start["gustsOn"] = r.bool()
    start["gustMaxPeriod"] = [r.i32(), r.i32()]
    start["randomState"] = r.text()
    start["modelScalars"] = r.texts(9)
    start["modelActive"] = [int(r.bool()) for _ in range(8)]
    start["modelParams"] = r.texts(8 * 13)
    start["modelMix"] = r.texts(4 * 8)
    start["modelSep"] = r.sep()
    start["stabiliserTexts"] = r.texts(24)
    start["returnTexts"] = r.texts(15)
    start["captureAltitudeAtOnce"] = r.bool()
    start["headingGroup"] = r.i32()
    start["settingsSep"] = r.sep()
    if r.pos != len(payload):
        raise Bad("%d bytes after the start record" % (len(payload) - r.pos))
    return start


def differences(decoded, program, path=""):
    """Every place where the decoded start and the program's values differ."""
    out = []
    if isinstance(program, dict):
        for key, want in program.items():
            if key not in decoded:
                out.append("%s%s: not decoded" % (path, key))
            else:
                out += differences(decoded[key], want, path + key + ".")
    elif decoded != program or type(decoded) is not type(program) and not (
            isinstance(decoded, (int, float)) and isinstance(program, (int, float))):
        out.append("%s: recording %r, program %r" % (path.rstrip("."), decoded, program))
    return out


def check(dump_program, workdir):
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")  # the window needs no screen
    subprocess.run([dump_program, workdir], check=True, env=env)
    with open(os.path.join(workdir, "window.uavrec"), "rb") as f:
        _, payload = header_and_start_payload(f.read())
    decoded = decode_start(payload)
    with open(os.path.join(workdir, "program.json"), encoding="utf-8") as f:
        program = json.load(f)
    # The controls' clock is read as the recording starts: between two readings.
    lo, hi = program.pop("clockMsAtLeast"), program.pop("clockMsAtMost")
    problems = []
    if not lo <= decoded["clockMs"] <= hi:
        problems.append("clockMs %d not within %d..%d" % (decoded["clockMs"], lo, hi))
    problems += differences(decoded, program)
    # The flight was flown before recording: these must not be the defaults.
    if decoded["flightTick"] < 100 or not decoded["state"]["running"] or decoded["autopilot"]["mode"] != 1:
        problems.append("the window's recording does not hold the flight flown before it")
    for p in problems:
        print(p)
    print("%d values compared, %d differ" % (count(program), len(problems)))
    return 1 if problems else 0


def count(v):
    if isinstance(v, dict):
        return sum(count(x) for x in v.values())
    if isinstance(v, list):
        return len(v)
    return 1


def main(argv):
    if len(argv) == 3 and argv[0] == "--check":
        return check(argv[1], argv[2])
    if len(argv) == 2 and argv[0] == "--check":
        with tempfile.TemporaryDirectory() as d:
            return check(argv[1], d)
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with open(argv[0], "rb") as f:
            program, payload = header_and_start_payload(f.read())
        start = decode_start(payload)
    except (OSError, Bad) as e:
        print("%s: %s" % (argv[0], e), file=sys.stderr)
        return 2
    json.dump({"writtenBy": program, "start": start}, sys.stdout, ensure_ascii=False, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
