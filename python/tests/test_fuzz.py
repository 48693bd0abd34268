"""Random texts, values and types into every entry point: only uavsim's errors (or Python's
TypeError / ValueError for a wrong type or text) come out, never a crash, and the state stays finite."""

import math
import random
import warnings

import pytest

import uavsim

ALLOWED = (uavsim.Error, TypeError, ValueError)  # FlightFault is a uavsim.Error

NUMBERS = [0, 1, -1, 0.5, 100, -100, 101, 1e308, -1e308, 1e-320, math.nan, math.inf, -math.inf, 2 ** 70,
           -(2 ** 70), True, None, "1", b"1", [1], {"a": 1}, 1j, object()]
TEXTS = ["", "off", "return", "stabilise", "ratehold", "x", "\n", "\0", "\udc80", "rollLoop.kp=", "=1",
         "homeRadius=-1", "returnAltitude=1e400", "captureAltitude=2", ".", ",", "Поле", None, 3]
OPTIONS = ["speed_kmh", "angle_deg", "altitude_m", "distance_m", "wind_north", "wind_east", "gust_max",
           "gust_period", "seed", "ailerons", "elevator", "rudder", "throttle", "mode", "settings", "decimal_sep",
           "keep_every"]


def random_value(rng):
    pick = rng.random()
    if pick < 0.4:
        return rng.choice(NUMBERS)
    if pick < 0.6:
        return rng.uniform(-200, 200)
    if pick < 0.8:
        return rng.choice(TEXTS)
    if pick < 0.9:
        return {rng.choice(["rollLoop.kp", "speedMin", "homeRadius", "bad", "stab.Edit2"]): rng.choice(NUMBERS + TEXTS)}
    return [rng.choice(TEXTS)]


def mutated_model(rng, lines):
    """The trainer's lines with a few values replaced by random texts, lines dropped or bytes changed."""
    out = list(lines)
    for _ in range(rng.randint(1, 6)):
        i = rng.randrange(len(out))
        key = out[i].split(b"=")[0]
        choice = rng.random()
        if choice < 0.6 and b"=" in out[i]:
            value = rng.choice([b"", b"-1", b"0", b"1e308", b"nan", b"inf", b"1,5", b"\xff\xfe", b"1e-320",
                                str(rng.uniform(-1e6, 1e6)).encode()])
            out[i] = key + b"=" + value
        elif choice < 0.8:
            del out[i]
        else:
            out[i] = bytes(rng.randrange(256) for _ in range(rng.randint(0, 20)))
    return b"\r\n".join(out)


def call(fn):
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return fn()
    except ALLOWED:
        return None


def test_random_inputs_never_crash(trainer):
    rng = random.Random(20261207)
    lines = open(trainer, "rb").read().split(b"\r\n")
    flights = 0
    for _ in range(400):
        kwargs = {name: random_value(rng) for name in rng.sample(OPTIONS, rng.choice([0, 0, 1, 2, 4]))}
        model = rng.choice([trainer, trainer, trainer, mutated_model(rng, lines),
                            mutated_model(rng, lines).decode("cp1251", "replace"),
                            bytes(rng.randrange(256) for _ in range(rng.randint(0, 200))), "", "/nonexistent",
                            "no\0file", 5, None])
        f = call(lambda: uavsim.Flight(model, **kwargs))
        if f is None:
            continue
        flights += 1
        for _ in range(10):
            action = rng.randrange(9)
            if action == 0:
                call(lambda: f.sliders(**{rng.choice(["ailerons", "elevator", "rudder", "throttle"]):
                                          random_value(rng)}))
            elif action == 1:
                value = rng.choice(TEXTS + NUMBERS)
                call(lambda: setattr(f, "mode", value))
            elif action == 2:
                value = (random_value(rng), random_value(rng)) if rng.random() < 0.8 else random_value(rng)
                call(lambda: setattr(f, "wind", value))
            elif action == 3:
                call(lambda: f.set_settings(random_value(rng), apply=rng.random() < 0.7))
            elif action == 4:
                call(f.tune_start if rng.random() < 0.5 else f.tune_stop)
            elif action == 5:
                seconds = rng.choice([0, 0.01, 0.5, -1, math.nan, "1", None, 1e30])
                call(lambda: f.run(seconds))
            elif action == 6:
                answer = random_value(rng)
                call(lambda: f.run(0.1, lambda s: answer))
            elif action == 7:
                call(lambda: f.telemetry(every=random_value(rng)))
            else:
                call(f.step)
            state = call(lambda: f.state)
            assert state is not None and all(math.isfinite(v) for v in state.values())
    assert flights > 50, "enough of the random flights started to exercise their methods"
