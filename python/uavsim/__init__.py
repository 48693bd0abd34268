"""uavsim from Python: fly the simulator's flights step by step, drive them from your own
controller, read the telemetry as NumPy arrays, and sweep thousands of flights on Dask.

    import uavsim
    f = uavsim.Flight("models/trainer.mdl", speed_kmh=58, angle_deg=0, altitude_m=100, mode="return")
    f.run(60)
    t = f.telemetry(every=10)      # {'t_s': array, 'posX_m': array, ...}: the runner's CSV columns

The flight is the runner's (uavsim-run): the same start-up, ticks, options and messages.
"""

from ._uavsim import (COLUMNS, DT, BusyError, Error, Flight, FlightFault, ModeError, ModelError,
                      OptionError, SettingsError, TuningError)
from ._sweep import SweepError, SweepInterrupted, SweepLost, sweep
from . import metrics

__all__ = ["COLUMNS", "DT", "BusyError", "Error", "Flight", "FlightFault", "ModeError", "ModelError",
           "OptionError", "SettingsError", "TuningError", "SweepError", "SweepInterrupted", "SweepLost", "sweep",
           "metrics"]
