"""Named reductions of a flight's telemetry, for sweeps.

A metric is named by a text: ``"final_distance_m"``, or with its parameter after a colon,
``"time_to_home_s:50"``. Each takes the dict of NumPy arrays ``Flight.telemetry()`` returns
(the runner's CSV columns) and gives one float; NaN when the flight never did what it measures.
"""

import math

import numpy as np

HOME_RADIUS_M = 100.0  # the auto-return's default home radius


def _last(t, column):
    return float(t[column][-1]) if len(t[column]) else math.nan


def _extreme(values, fn):
    return float(fn(values)) if len(values) else math.nan


def final_distance_m(t):
    """Horizontal distance from home at the end, m."""
    return _last(t, "posD_m")


def final_altitude_m(t):
    """Altitude at the end, m."""
    return _last(t, "posH_m")


def min_altitude_m(t):
    return _extreme(t["posH_m"], np.min)


def max_altitude_m(t):
    return _extreme(t["posH_m"], np.max)


def max_distance_m(t):
    """Farthest horizontal distance from home, m."""
    return _extreme(t["posD_m"], np.max)


def max_bank_deg(t):
    """Largest bank either way, degrees."""
    return _extreme(np.abs(t["roll_deg"]), np.max)


def max_pitch_deg(t):
    """Largest pitch either way, degrees."""
    return _extreme(np.abs(t["pitch_deg"]), np.max)


def min_airspeed_ms(t):
    return _extreme(t["airspeed_ms"], np.min)


def max_airspeed_ms(t):
    return _extreme(t["airspeed_ms"], np.max)


def flight_time_s(t):
    """Simulated seconds flown (short of the scenario's when the flight faulted)."""
    return _last(t, "t_s")


def time_to_home_s(t, radius_m=HOME_RADIUS_M):
    """First time the aircraft is within radius_m (m) of home, s; NaN if never."""
    inside = np.flatnonzero(t["posD_m"] <= radius_m)
    return float(t["t_s"][inside[0]]) if len(inside) else math.nan


BUILTIN = {f.__name__: f for f in (final_distance_m, final_altitude_m, min_altitude_m, max_altitude_m,
                                   max_distance_m, max_bank_deg, max_pitch_deg, min_airspeed_ms,
                                   max_airspeed_ms, flight_time_s, time_to_home_s)}
# Metrics that take a parameter after the colon, and its unit.
PARAMETRIC = {"time_to_home_s": "radius in m"}


def resolve(text):
    """The function of a metric name ("time_to_home_s:50" included); ValueError naming it otherwise."""
    if not isinstance(text, str):
        raise ValueError(f"metric {text!r}: a name is needed (one of {', '.join(sorted(BUILTIN))})")
    name, _, arg = text.partition(":")
    fn = BUILTIN.get(name)
    if fn is None:
        raise ValueError(f"unknown metric '{name}' (one of {', '.join(sorted(BUILTIN))})")
    if not arg:
        return fn
    if name not in PARAMETRIC:
        raise ValueError(f"metric '{name}' takes no parameter")
    try:
        value = float(arg)
    except ValueError:
        value = math.nan
    if not math.isfinite(value):
        raise ValueError(f"metric '{text}': the parameter ({PARAMETRIC[name]}) is not a number")
    return lambda t: fn(t, value)


def compute(metrics, telemetry):
    """{name: value} of the metrics; `metrics` holds names or (name, function) pairs."""
    out = {}
    for m in metrics:
        if isinstance(m, tuple):
            name, fn = m
        else:
            name, fn = m, resolve(m)
        out[name] = float(fn(telemetry))
    return out
