"""uavsim.Flight: the runner's flights through Python, closed-loop controllers, errors."""

import math
import subprocess
import threading

import numpy as np
import pytest

import uavsim

LEVEL = dict(speed_kmh=58, angle_deg=0, altitude_m=100)


def golden_flights(source_dir):
    """The six golden scenarios, flown as a Python user would: (name, flight)."""
    trainer = str(source_dir / "models" / "trainer.mdl")
    vtail = str(source_dir / "tests" / "golden" / "vtail.mdl")

    f = uavsim.Flight(trainer, **LEVEL, throttle=20, wind_north=4, wind_east=-3)
    f.run(30)
    yield "cruise-wind", f

    f = uavsim.Flight(trainer, **LEVEL, mode="stabilise", throttle=0, ailerons=40, elevator=10, gust_max=3,
                      gust_period=2, seed=7)
    f.run(30)
    yield "stabilise-turn-gusts", f

    f = uavsim.Flight(trainer, **dict(LEVEL, altitude_m=80), distance_m=600, wind_east=3, mode="return")
    f.run(30)
    yield "return-wind", f

    f = uavsim.Flight(trainer, **LEVEL, throttle=0, rudder=-5, elevator=5)
    f.run(2)
    f.mode = "ratehold"
    f.run(28)
    yield "ratehold-engaged-late", f

    f = uavsim.Flight(trainer, **LEVEL, mode="stabilise", throttle=0)
    f.run(5)
    f.tune_start()
    f.run(20)
    proposal = f.tune_stop()
    assert list(proposal) == ["rollLoop.kp", "rollLoop.ki", "rollLoop.kd", "pitchLoop.kp", "pitchLoop.ki",
                              "pitchLoop.kd"]
    f.run(5)
    yield "relay-tuning", f

    f = uavsim.Flight(vtail, **LEVEL, mode="stabilise", throttle=0, ailerons=-15, rudder=-40, wind_north=-5,
                      wind_east=2)
    f.run(30)
    yield "vtail-negative-mix", f


def test_golden_flights_through_python(source_dir):
    for name, f in golden_flights(source_dir):
        path = source_dir / "tests" / "golden" / f"{name}.csv"
        header = path.read_text().splitlines()[0].split(",")
        assert tuple(header) == uavsim.COLUMNS, name
        want = np.loadtxt(path, delimiter=",", skiprows=1, ndmin=2)
        t = f.telemetry(every=100)
        got = np.column_stack([t[c] for c in uavsim.COLUMNS])
        assert got.shape == want.shape, name
        tol = np.maximum(1e-9 * np.maximum(np.abs(want), np.abs(got)), 1e-12)
        bad = np.argwhere(np.abs(got - want) > tol)
        assert len(bad) == 0, f"{name}: {len(bad)} cells moved, first at t = {want[bad[0][0], 0]} s, " \
                              f"{header[bad[0][1]]}: golden {want[tuple(bad[0])]!r}, python {got[tuple(bad[0])]!r}"


def test_to_csv_is_the_runners_csv_byte_for_byte(tmp_path, trainer, run_exe):
    # Gusts off the control period, a mode engaged between the two ticks of a period, relay
    # tuning, an odd row interval and a length that is not a whole number of periods.
    runner_csv = tmp_path / "runner.csv"
    subprocess.run([run_exe, trainer, "--speed", "58", "--angle", "0", "--altitude", "100", "--ailerons", "30",
                    "--elevator", "10", "--rudder", "-5", "--throttle", "0", "--gust-max", "4", "--gust-period",
                    "0.73", "--seed", "11", "--mode", "stabilise", "--engage-at", "1.01", "--tune-start", "3",
                    "--tune-stop", "9.5", "--set", "rollLoop.kp=30", "--seconds", "10.03", "--every", "7",
                    "--csv", str(runner_csv), "--quiet"], check=True)
    f = uavsim.Flight(trainer, **LEVEL, ailerons=30, elevator=10, rudder=-5, throttle=0, gust_max=4,
                      gust_period=0.73, seed=11, settings={"rollLoop.kp": 30})
    f.run(1.01)
    f.mode = "stabilise"
    f.step()  # the rest of the control period
    assert f.ticks == 102
    f.run(1.98)
    f.tune_start()
    f.run(6.5)
    f.tune_stop()
    f.run(0.53)
    assert f.ticks == 1003
    mine = tmp_path / "python.csv"
    f.to_csv(mine, every=7)
    assert mine.read_bytes() == runner_csv.read_bytes()


def test_a_controller_flies_in_closed_loop(trainer):
    calls = []

    def level_wings(state):
        calls.append(state["t_s"])
        # Ailerons against the bank: positive roll is right wing down, a positive slider banks right.
        return {"ailerons": max(-100, min(100, round(-4 * state["roll_deg"])))}

    f = uavsim.Flight(trainer, **LEVEL, throttle=-40, ailerons=60)
    f.run(20, level_wings)
    assert len(calls) == 1000, "once per control period"
    assert calls[:3] == pytest.approx([0.0, 0.02, 0.04])
    assert abs(f.state["roll_deg"]) < 3
    open_loop = uavsim.Flight(trainer, **LEVEL, throttle=-40, ailerons=60)
    open_loop.run(20)
    assert abs(open_loop.state["roll_deg"]) > 30

    # The controller's answer acts from the control tick of its period: the same as moving the
    # sliders before each step() by hand.
    replay = uavsim.Flight(trainer, **LEVEL, throttle=-40, ailerons=60)
    for _ in range(1000):
        replay.sliders(**{"ailerons": max(-100, min(100, round(-4 * replay.state["roll_deg"])))})
        replay.step()
    assert replay.state == f.state


def test_controller_answers(trainer):
    f = uavsim.Flight(trainer, **LEVEL)
    f.run(0.1, lambda s: (10, -20, 5, -60))
    assert f.sliders() == {"ailerons": 10, "elevator": -20, "rudder": 5, "throttle": -60}
    f.run(0.1, lambda s: None)
    assert f.sliders()["elevator"] == -20
    with pytest.raises(uavsim.OptionError, match="elevator: 101 is outside -100 .. 100"):
        f.run(1, lambda s: {"elevator": 101})
    with pytest.raises(uavsim.OptionError, match="ailerons: slider positions are whole numbers"):
        f.run(1, lambda s: {"ailerons": 0.5})
    with pytest.raises(TypeError):
        f.run(1, lambda s: "up")
    with pytest.raises(ZeroDivisionError):
        f.run(1, lambda s: 1 / 0)
    assert f.ticks == 20, "refused answers fly nothing"


def test_mode_follows_the_windows_engagement_rules(trainer):
    f = uavsim.Flight(trainer, **LEVEL, mode="stabilise", throttle=0)
    f.run(1)
    f.set_settings({"returnAltitude": "high"}, apply=False)  # typed, not applied
    with pytest.raises(uavsim.ModeError, match="'high' is not a valid floating point value"):
        f.mode = "return"
    assert f.mode == "stabilise"
    with pytest.raises(uavsim.SettingsError, match="autopilot settings: 'high'"):
        f.set_settings({"homeRadius": 50})
    f.set_settings({"returnAltitude": 160, "homeRadius": 50})
    f.mode = "return"
    assert f.mode == "return"
    with pytest.raises(uavsim.SettingsError, match="nosuch"):
        f.set_settings({"nosuch": 1})


def test_tuning_proposal_applies_and_its_failure_is_reported(trainer):
    f = uavsim.Flight(trainer, **LEVEL, mode="stabilise", throttle=0)
    f.tune_start()
    with pytest.raises(uavsim.TuningError, match="Floating point division by zero"):
        f.tune_stop()  # no relay step yet: no elapsed time, no crossing
    f.tune_start()
    f.run(20)
    assert f.tuning_caption.count("  ") == 1
    proposal = f.tune_stop()
    assert all(math.isfinite(float(v)) for v in proposal.values())
    f.set_settings(proposal)
    f.run(5)


def test_errors_name_the_option(trainer, tmp_path):
    cases = [
        (dict(speed_kmh=120), uavsim.OptionError, "speed_kmh: 120 is outside 0 .. 100"),
        (dict(altitude_m=math.nan), uavsim.OptionError, "altitude_m: 'nan' is not a number"),
        (dict(gust_period=0), uavsim.OptionError, "gust_period: 0 is outside 0.01 .. 1000"),
        (dict(throttle=-100.5), uavsim.OptionError, "throttle: -100.5 is outside -100 .. 100"),
        (dict(seed=-1), uavsim.OptionError, "seed: '-1' is not a whole number"),
        (dict(mode="auto"), uavsim.OptionError, "mode: 'auto' is not off, stabilise, return or ratehold"),
        (dict(decimal_sep=";"), uavsim.OptionError, "decimal_sep: ';' is not . or ,"),
        (dict(settings=["rollLoop.kq=1"]), uavsim.SettingsError, "settings: .*rollLoop.kq"),
        (dict(settings={"speedMax": "fast"}), uavsim.SettingsError, "autopilot settings: 'fast'"),
        (dict(wind_east=1e400), uavsim.OptionError, "wind_east: 'inf' is not a number"),
    ]
    for kwargs, error, message in cases:
        with pytest.raises(error, match=message):
            uavsim.Flight(trainer, **kwargs)
    with pytest.raises(uavsim.ModelError, match="missing.mdl"):
        uavsim.Flight(str(tmp_path / "missing.mdl"))
    bad = open(trainer, encoding="cp1251").read().replace("\nM=", "\nM=two\nX=")
    with pytest.raises(uavsim.ModelError, match="^model text: .*'two'"):
        uavsim.Flight(bad)
    with pytest.warns(UserWarning, match="holds no model"):
        uavsim.Flight("[Other]\nkey=1\n")
    f = uavsim.Flight(trainer)
    for every in (0, 2.5, math.inf):
        with pytest.raises(uavsim.OptionError, match="every"):
            f.telemetry(every=every)
    with pytest.raises(uavsim.OptionError, match="seconds: -1 is outside 0 .. 10000000"):
        f.run(-1)
    with pytest.raises(uavsim.OptionError, match="wind_north: 101 is outside"):
        f.wind = (101, 0)
    with pytest.raises(uavsim.Error, match="is the model file"):
        f.to_csv(trainer)
    with pytest.raises(uavsim.Error, match="cannot write CSV file .*No such file or directory"):
        f.to_csv(tmp_path / "no" / "such.csv")
    assert list(tmp_path.iterdir()) == [], "nothing half-written"


def test_model_text_in_a_str_or_bytes_flies_as_the_file(trainer):
    data = open(trainer, "rb").read()
    a = uavsim.Flight(trainer, **LEVEL)
    b = uavsim.Flight(data, **LEVEL)
    c = uavsim.Flight(data.decode("cp1251"), **LEVEL)
    for f in (a, b, c):
        f.run(3)
    assert a.state == b.state == c.state


def test_a_fault_raises_with_the_last_valid_state(trainer):
    text = open(trainer, encoding="cp1251").read()
    lines = [("TV=1e3" if line.startswith("TV=") else line) for line in text.splitlines()]
    f = uavsim.Flight("\n".join(lines) + "\n")
    with pytest.raises(uavsim.FlightFault) as caught:
        f.run(2)
    fault = caught.value
    assert "non-finite" in fault.reason
    assert 0 < fault.time < 2
    assert fault.state == f.state
    assert all(math.isfinite(v) for v in fault.state.values())
    assert f.fault == fault.reason
    t = f.telemetry(every=1000)
    assert t["t_s"].tolist() == [fault.time], "the last valid state ends the telemetry"
    with pytest.raises(uavsim.FlightFault):
        f.step()
    assert f.time == fault.time


def test_telemetry_columns_and_rows(trainer):
    f = uavsim.Flight(trainer, **LEVEL)
    f.run(1.23)
    t = f.telemetry(every=10)
    assert tuple(t) == uavsim.COLUMNS
    assert t["t_s"].tolist() == pytest.approx([0.1 * k for k in range(1, 13)])
    every = f.telemetry(every=1)
    assert len(every["t_s"]) == 123
    assert every["posX_m"][9::10].tolist() == t["posX_m"].tolist()
    assert f.state["posX_m"] == every["posX_m"][-1]
    assert set(f.state) == set(uavsim.COLUMNS)
    # Kept every 4 ticks: the same rows at its multiples, 4 by default (10 is not one), others refused.
    g = uavsim.Flight(trainer, **LEVEL, keep_every=4)
    g.run(1.23)
    assert g.keep_every == 4
    assert g.telemetry()["posX_m"].tolist() == every["posX_m"][3::4].tolist()
    assert g.telemetry(every=20)["posX_m"].tolist() == every["posX_m"][19::20].tolist()
    with pytest.raises(uavsim.OptionError, match=r"^every: 10 is not a multiple of keep_every \(4\)$"):
        g.to_csv("never-written.csv", every=10)
    with pytest.raises(uavsim.OptionError, match="keep_every: 0 is outside 1 .. 1000000000"):
        uavsim.Flight(trainer, keep_every=0)


def test_threads_fly_at_once_with_the_gil_released(trainer):
    flights = [uavsim.Flight(trainer, **LEVEL, gust_max=3, seed=s) for s in (1, 2)]
    spins = 0
    threads = [threading.Thread(target=f.run, args=(1200,)) for f in flights]
    for t in threads:
        t.start()
    busy = False
    while any(t.is_alive() for t in threads):
        spins += 1
        if not busy:
            try:
                flights[0].state
            except uavsim.BusyError:
                busy = True  # the same flight from a second thread is refused, not raced
    for t in threads:
        t.join()
    assert busy
    assert spins > 1000, "Python ran while the flights flew"
    for seed, f in zip((1, 2), flights):
        alone = uavsim.Flight(trainer, **LEVEL, gust_max=3, seed=seed)
        alone.run(1200)
        assert alone.state == f.state
