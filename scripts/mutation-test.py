#!/usr/bin/env python3
"""Checks the tests the way a reviewer would: applies small faults (sign flips,
swapped frames, swapped operands, off-by-one rows and indices, a wrong
rounding) one at a time to a scratch copy of the tree, rebuilds only what the
fault touches, runs the domain test executables and reports which faults
survive. Not part of CI: a full run takes about a quarter of an hour on two
cores (the faults in core/vecmath.h rebuild most objects).

    scripts/mutation-test.py                 # every mutation
    scripts/mutation-test.py --list          # list them
    scripts/mutation-test.py --only 3,17     # just these (numbers from --list)
    scripts/mutation-test.py --check         # quick: only check that each original text occurs
                                             # exactly once (scripts/test.sh runs this)

The scratch tree and its build live in $UAVSIM_MUTATION_DIR (default
/tmp/uavsim-mutation) and are reused, so a second run rebuilds little. The
exit status is 1 when more than one mutation in ten survives.
"""
import argparse
import os
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (file, original text, faulty text, what the fault is). The original must
# occur exactly once in the file.
MUTATIONS = [
    # core/vecmath.h: rotation builders, products (header: rebuilds most objects)
    ("core/vecmath.h", "{0, ca, sa}, {0, -sa, ca}", "{0, ca, -sa}, {0, sa, ca}", "MRotX turns the other way"),
    ("core/vecmath.h", "{{ca, 0, sa}, {0, 1, 0}, {-sa, 0, ca}}", "{{ca, 0, -sa}, {0, 1, 0}, {sa, 0, ca}}",
     "MRotY turns the other way"),
    ("core/vecmath.h", "x * y * t - z * sa", "x * y * t + z * sa", "MRotO: sign of one sine term (row 0, column 1)"),
    ("core/vecmath.h", "y * z * t + x * sa", "y * z * t - x * sa", "MRotO: sign of one sine term (row 2, column 1)"),
    ("core/vecmath.h", "a.z * b.x - a.x * b.z", "a.x * b.z - a.z * b.x", "VecCross: y component negated"),
    ("core/vecmath.h", "s += a.m[i][k] * b.m[k][j];", "s += a.m[k][i] * b.m[k][j];", "MatMul: row and column swapped"),
    ("core/vecmath.h", "return 2.0 * std::round(x / 2.0);", "return std::round(x);",
     "roundHalfEven rounds halves away from zero"),
    # core/simstate.cpp: atmosphere and initial conditions
    ("core/simstate.cpp", "5.2615", "5.2559", "atmosphere: the other exponent"),
    ("core/simstate.cpp", "3.4898 * s.airPressure", "3.4837 * s.airPressure", "atmosphere: the other density factor"),
    ("core/simstate.cpp", "s.groundTemp - 0.0065 * s.posH", "s.groundTemp + 0.0065 * s.posH",
     "atmosphere: temperature rises with altitude"),
    ("core/simstate.cpp", "{{c, sn, 0}, {-sn, c, 0}, {0, 0, 1}}", "{{c, -sn, 0}, {sn, c, 0}, {0, 0, 1}}",
     "initial conditions pitch the nose down"),
    # core/dynamics.cpp: frames, moments, integration
    ("core/dynamics.cpp", "s.earthToBody = s.orient;\n    s.bodyToEarth = MatTranspose(s.orient);",
     "s.earthToBody = MatTranspose(s.orient);\n    s.bodyToEarth = s.orient;", "CalcMO: the two frames swapped"),
    ("core/dynamics.cpp", "VecCross(n.elemCP[i], f)", "VecCross(f, n.elemCP[i])", "element moment F x cp"),
    ("core/dynamics.cpp", "VecCross(motorEarth, thrustEarth)", "VecCross(thrustEarth, motorEarth)",
     "thrust moment T x m"),
    ("core/dynamics.cpp", "VecAdd(n.wind, VecScale(n.velocity, -1.0))", "VecAdd(n.velocity, VecScale(n.wind, -1.0))",
     "airflow is velocity minus wind"),
    ("core/dynamics.cpp", "n.elemForceEarth[i] = MatVec(n.bodyToEarth, f);",
     "n.elemForceEarth[i] = MatVec(n.earthToBody, f);", "element force turned with earth-to-body"),
    ("core/dynamics.cpp", "MatVec(n.earthToBody, n.omegaEarth)", "MatVec(n.bodyToEarth, n.omegaEarth)",
     "omegaBody turned with body-to-earth"),
    ("core/dynamics.cpp", "MatVec(n.bodyToEarth, VecSum(std::span<const Vec3>(elemMoment)",
     "MatVec(n.earthToBody, VecSum(std::span<const Vec3>(elemMoment)", "element moments turned with earth-to-body"),
    ("core/dynamics.cpp", "gy * gy * mp.inertia.y + gz * gz * mp.inertia.z",
     "gy * gy * mp.inertia.z + gz * gz * mp.inertia.y", "inertia: Iy and Iz swapped"),
    ("core/dynamics.cpp", "if (s.orient.m[2][1] > 0.0) s.rollAngle", "if (s.orient.m[2][1] < 0.0) s.rollAngle",
     "roll angle sign"),
    ("core/dynamics.cpp", "std::atan(s.orient.m[0][1])", "std::asin(s.orient.m[0][1])", "pitch by arcsine"),
    ("core/dynamics.cpp", "std::atan2(-s.orient.m[0][2], s.orient.m[0][0])",
     "std::atan2(s.orient.m[0][2], s.orient.m[0][0])", "yaw positive toward east"),
    ("core/dynamics.cpp", "n.posH = n.posH + n.velocity.y * n.dt;",
     "n.posH = n.posH + s.velocity.y * n.dt;", "altitude from the old velocity (explicit Euler)"),
    ("core/dynamics.cpp", "MRotO(n.dt * wn, VecScale(n.omegaEarth, 1.0 / wn))",
     "MRotO(-n.dt * wn, VecScale(n.omegaEarth, 1.0 / wn))", "attitude turned against the angular velocity"),
    ("core/dynamics.cpp", "VecSum(n.elemForceEarth, ELEMENT_COUNT)", "VecSum(n.elemForceEarth, ELEMENT_COUNT - 1)",
     "the last element's force left out"),
    # core/elementforce.cpp
    ("core/elementforce.cpp", "VecCross(e.pos, s.omegaBody)", "VecCross(s.omegaBody, e.pos)",
     "rotation airflow omega x pos"),
    ("core/elementforce.cpp", "Vec3{-e.efTr * s.thrustBody.x, 0.0, 0.0}", "Vec3{e.efTr * s.thrustBody.x, 0.0, 0.0}",
     "slipstream blows forward"),
    ("core/elementforce.cpp", "if (sc < 0.0) w = VecScale(w, -1.0);", "if (sc > 0.0) w = VecScale(w, -1.0);",
     "lift direction flipped for flow from ahead"),
    ("core/elementforce.cpp", "PI / 2.0 - std::acos(nv)", "std::acos(nv) - PI / 2.0", "angle of attack negated"),
    ("core/elementforce.cpp", "VecScale(e.chordVec, cpFraction(a))", "VecScale(e.chordVec, 1.0 - cpFraction(a))",
     "centre of pressure from the trailing edge"),
    ("core/elementforce.cpp", "(1.1 - std::cos(2.0 * a)) / 2.0", "(1.1 - std::cos(a)) / 2.0",
     "drag coefficient of the single angle"),
    ("core/elementforce.cpp", "liftCoef(a) + e.k * s.servoPos[i]", "liftCoef(a) - e.k * s.servoPos[i]",
     "control surface sign"),
    ("core/elementforce.cpp", "std::cos(K2 * (x - A0))", "std::cos(K2 * (x + A0))", "lift curve past the break"),
    ("core/elementforce.cpp", "v * v * (s.airDensity * e.area) / 2.0", "v * (s.airDensity * e.area) / 2.0",
     "dynamic pressure linear in speed"),
    # core/wind.cpp
    ("core/wind.cpp", "(m.left - WIND_MARKER_CENTRE) / WIND_POINTS_PER_MS}",
     "(WIND_MARKER_CENTRE - m.left) / WIND_POINTS_PER_MS}", "wind marker: east and west swapped"),
    ("core/wind.cpp", "return {{a * std::cos(phi), 0.0, a * std::sin(phi)}, a};",
     "return {{a * std::sin(phi), 0.0, a * std::cos(phi)}, a};", "gust: north and east swapped"),
    # model/apply.cpp
    ("model/apply.cpp", "r = MRotY(num(p[P_AY]) * DEG_TO_RAD);", "r = MRotY(-num(p[P_AY]) * DEG_TO_RAD);",
     "Ay turns the other way"),
    ("model/apply.cpp", "e.spanDir = finiteOrStop(VecCross(e.normal, e.chordDir));",
     "e.spanDir = finiteOrStop(VecCross(e.chordDir, e.normal));",
     "span direction chord x normal"),
    ("model/apply.cpp", "MRotO(mp.vycos, Vec3{0, 0, 1})", "MRotO(mp.vycos, Vec3{0, 1, 0})",
     "thrust tilted about body y"),
    ("model/apply.cpp", "e.pos.y = num(p[P_Y]);\n        e.pos.z = num(p[P_Z]);",
     "e.pos.z = num(p[P_Z]);\n        e.pos.y = num(p[P_Y]);", "conversion order: Z before Y"),
    ("model/apply.cpp", "ac.mix.c[r][j] = num(t.mix[r][j]);", "ac.mix.c[r][j] = num(t.mix[(r + 1) % MIX_ROWS][j]);",
     "mixer rows shifted by one"),
    ("model/apply.cpp", "n.rightW = panel(VecSub(el[1].pos, hp), VecAdd(el[1].pos, hp), el[1].chordVec);",
     "n.rightW = panel(VecAdd(el[1].pos, hp), VecSub(el[1].pos, hp), el[1].chordVec);",
     "right wing outline in the left wing's order"),
    ("model/apply.cpp", "n.kil = panel(VecSub(el[3].pos, hp), VecAdd(el[3].pos, hp), el[3].chordVec);",
     "n.kil = panel(VecSub(el[3].pos, hm), VecAdd(el[3].pos, hm), el[3].chordVec);", "fin outline built with hm"),
    ("model/apply.cpp", "{{x, x / 10, 0}, {x, -x / 10, 0}", "{{x, -x / 10, 0}, {x, x / 10, 0}",
     "fuselage outline points swapped"),
    ("model/apply.cpp", "num(t.scalars[SC_TV]) * mp.mass * GRAVITY_G", "num(t.scalars[SC_TV]) * GRAVITY_G",
     "thrust not scaled by the mass"),
    ("model/apply.cpp", "mp.inertia.y = num(t.scalars[SC_IY]);", "mp.inertia.y = num(t.scalars[SC_IZ]);",
     "Iy read from the Iz text"),
    # model/modeltext.cpp, model/numtext.cpp
    ("model/modeltext.cpp", "\"Mix\" + std::to_string(row + 1)", "\"Mix\" + std::to_string(row)",
     "mixer keys numbered from 0"),
    ("model/modeltext.cpp", "store.readInteger(sec, \"Act\", 0) != 0", "store.readInteger(sec, \"Act\", 0) > 0",
     "a negative Act reads as off"),
    # Survives, harmlessly: from_chars then stops at the second separator and
    # the end check refuses the text all the same.
    ("model/numtext.cpp", "} else if (c == decimalSep && !afterSep) {", "} else if (c == decimalSep) {",
     "a second decimal separator accepted"),
    # control/channels.cpp: sliders, mixer, servo
    ("control/channels.cpp", "ch.elevatorIn = -p.elevator / 100.0;", "ch.elevatorIn = p.elevator / 100.0;",
     "elevator slider sign"),
    ("control/channels.cpp", "ch.throttle = (100 - p.throttle) / 200.0;", "ch.throttle = (100 + p.throttle) / 200.0;",
     "throttle slider upside down"),
    ("control/channels.cpp", "ac.mix.c[MIX_ALE][i] * ch.aileronIn", "ac.mix.c[MIX_ELE][i] * ch.aileronIn",
     "ailerons mixed through the elevator row"),
    ("control/channels.cpp", "if (target > cmd && cmd + step < target)", "if (target > cmd && cmd + step > target)",
     "rate limit upward inverted"),
    ("control/channels.cpp", "roundHalfEven(target * steps) / steps", "std::round(target * steps) / steps",
     "servo steps rounded halves away from zero"),
    ("control/channels.cpp", "secondsBetween(*servo.servoTimeMs, nowMs)",
     "(static_cast<double>(nowMs) / 1000.0 - static_cast<double>(*servo.servoTimeMs) / 1000.0)",
     "servo interval from absolute seconds"),
    ("control/channels.cpp", "if (!e.active || !(e.k > 0.0)) continue;", "if (!e.active || e.k < 0.0) continue;",
     "servo of an element with k = 0 moves"),
    # control/autopilot.cpp, pid.cpp, autoreturn.cpp, apsettings.cpp
    ("control/autopilot.cpp", "ap.channels.elevatorIn = -pitch.output;", "ap.channels.elevatorIn = pitch.output;",
     "pitch loop drives the elevator the wrong way"),
    ("control/autopilot.cpp", "ap.loops.pitchLoop.integral = -ap.channels.elevatorIn;",
     "ap.loops.pitchLoop.integral = ap.channels.elevatorIn;", "pitch integral engaged with the wrong sign"),
    ("control/autopilot.cpp", "(st.speedMax - st.speedMin) * (100 - throttleSlider) / 200.0",
     "(st.speedMax - st.speedMin) * (100 + throttleSlider) / 200.0", "speed set-point slider upside down"),
    ("control/autopilot.cpp", "l.yawRateLoop.setpoint = -st.yawRateMax", "l.yawRateLoop.setpoint = st.yawRateMax",
     "yaw-rate set-point sign"),
    ("control/autopilot.cpp", "l.pitchRateLoop.measured = s.omegaBody.z;", "l.pitchRateLoop.measured = s.omegaBody.y;",
     "pitch rate read from the yaw axis"),
    ("control/pid.cpp", "(loop.prevMeasured - loop.measured) * loop.kd / T",
     "(loop.measured - loop.prevMeasured) * loop.kd / T", "derivative sign"),
    ("control/pid.cpp", "if (std::fabs(u) < 1.0) loop.integral = i;", "loop.integral = i;", "no anti-windup"),
    ("control/autoreturn.cpp", "std::atan2(s.posX, s.posZ) + PI", "std::atan2(s.posZ, s.posX) + PI",
     "bearing home with north and east swapped"),
    ("control/apsettings.cpp", "st.pitchMaxAngle = num(ST_PITCH_MAX) * PI / 180.0;",
     "st.pitchMaxAngle = num(ST_ROLL_MAX) * PI / 180.0;", "pitch limit read from the roll field"),
    # control/relaytuning.cpp, headless.cpp, flightstart.cpp
    ("control/relaytuning.cpp", "proposeAxis(t, rt.pitchCrossings, rt.pitchErrorSum, 50.0, 3.7, 1.8",
     "proposeAxis(t, rt.pitchCrossings, rt.pitchErrorSum, 50.0, 1.8, 3.7", "pitch I and D factors swapped"),
    ("control/relaytuning.cpp", "secondsBetween(rt.startTimeMs, nowMs)", "secondsBetween(rt.startTimeMs, nowMs + 10)",
     "tuning time one tick long"),
    ("control/headless.cpp", "hc.hook.nowMs = t + TICK_MS;", "hc.hook.nowMs = t;",
     "relay step reads the clock before the tick"),
    ("control/flightstart.cpp", "if (!r.modelError) dynamicsTick(s, ac, nullptr);", "if (false) dynamicsTick(s, ac, nullptr);",
     "start-up without the stopped tick"),
    ("control/flightstart.cpp", "    ap.sliders = in.sliders;\n", "", "start-up leaves the sliders centred"),
]

TEST_EXES = ["core_tests", "model_tests", "control_tests", "tools_tests"]
FOLDER_FIRST = {"core": "core_tests", "model": "model_tests", "control": "control_tests"}


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def check_all():
    ok = True
    for n, (path, old, _new, what) in enumerate(MUTATIONS, 1):
        with open(os.path.join(REPO, path), encoding="utf-8") as f:
            count = f.read().count(old)
        if count != 1:
            print(f"[{n:2}] {path}: the original occurs {count} times ({what})")
            ok = False
    return ok


def copy_tree(src_dir):
    """Brings the scratch copy up to date, writing only the files whose bytes
    differ: they get a new modification time and rebuild, the rest do not (an
    older time copied over a mutant's object would leave the mutant built in)."""
    for root, dirs, files in os.walk(REPO):
        dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        for name in files:
            src = os.path.join(root, name)
            dst = os.path.join(src_dir, os.path.relpath(src, REPO))
            with open(src, "rb") as f:
                data = f.read()
            if os.path.exists(dst):
                with open(dst, "rb") as f:
                    if f.read() == data:
                        continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            with open(dst, "wb") as f:
                f.write(data)


def build(build_dir, jobs):
    return run(["cmake", "--build", build_dir, "-j", str(jobs), "--target", *TEST_EXES]).returncode == 0


def tests_fail(build_dir, src_dir, first, timeout):
    """Name of the first test executable that fails, or None when all pass."""
    env = dict(os.environ, UAVSIM_SOURCE_DIR=src_dir)
    order = [first] + [t for t in TEST_EXES if t != first] if first else TEST_EXES
    for exe in order:
        folder = os.path.join(build_dir, "tests", exe.replace("_tests", ""))
        try:
            r = run([os.path.join(folder, exe), "--gtest_brief=1"], cwd=folder, env=env, timeout=timeout)
        except subprocess.TimeoutExpired:
            return exe + " (timed out)"
        if r.returncode != 0:
            return exe
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--only", default="")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=300, help="seconds per test executable")
    args = ap.parse_args()

    if args.list:
        for n, (path, _o, _m, what) in enumerate(MUTATIONS, 1):
            print(f"{n:3}  {path:26} {what}")
        return 0
    if not check_all():
        return 2
    if args.check:
        print(f"all {len(MUTATIONS)} mutations apply")
        return 0

    os.nice(10)
    work = os.environ.get("UAVSIM_MUTATION_DIR", "/tmp/uavsim-mutation")
    src_dir, build_dir = os.path.join(work, "src"), os.path.join(work, "build")
    os.makedirs(work, exist_ok=True)
    copy_tree(src_dir)
    r = run(["cmake", "-S", src_dir, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG", "-DUAVSIM_GUI=OFF", "-DUAVSIM_BENCH=OFF"])
    if r.returncode != 0:
        print(r.stdout)
        return 2
    print("building the unmutated tree ...", flush=True)
    if not build(build_dir, args.jobs) or tests_fail(build_dir, src_dir, None, args.timeout):
        print("the unmutated tree does not build or its tests fail; mend that first")
        return 2

    chosen = [int(x) for x in args.only.split(",") if x] or range(1, len(MUTATIONS) + 1)
    killed, survived, broken = [], [], []
    for n in chosen:
        path, old, new, what = MUTATIONS[n - 1]
        target = os.path.join(src_dir, path)
        with open(target, encoding="utf-8") as f:
            original = f.read()
        t0 = time.time()
        try:
            with open(target, "w", encoding="utf-8") as f:
                f.write(original.replace(old, new, 1))
            if not build(build_dir, args.jobs):
                broken.append(n)
                verdict = "NO BUILD"
            else:
                by = tests_fail(build_dir, src_dir, FOLDER_FIRST.get(path.split("/")[0]), args.timeout)
                if by:
                    killed.append(n)
                    verdict = f"killed by {by}"
                else:
                    survived.append(n)
                    verdict = "SURVIVED"
        finally:
            with open(target, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"[{n:3}] {verdict:30} {path}: {what} ({time.time() - t0:.0f} s)", flush=True)

    build(build_dir, args.jobs)  # leave the scratch build unmutated
    total = len(killed) + len(survived)
    print(f"\n{len(killed)} killed, {len(survived)} survived, {len(broken)} did not build, of {len(chosen)}")
    for n in survived:
        print(f"  survivor {n}: {MUTATIONS[n - 1][0]}: {MUTATIONS[n - 1][3]}")
    return 1 if total and len(survived) * 10 > total else 0


if __name__ == "__main__":
    sys.exit(main())
