"""Asked of every Dask worker before a sweep: does it import this build of uavsim, and can it read the
sweep's metrics?

A worker that cannot unpickle a task (uavsim missing, or a metric function from a module only the
client has) stops, and the sweep would wait for ever. The sweep registers this module to be sent by
value (cloudpickle.register_pickle_by_value): the question arrives even where the answer is no.
"""


def check(metrics_pickle):
    """("", the telemetry columns) when both work here; (what failed, ()) otherwise."""
    try:
        from uavsim import _uavsim
    except Exception as e:  # an answer, not a dead worker
        return f"cannot import uavsim ({type(e).__name__}: {e})", ()
    import pickle
    try:
        pickle.loads(metrics_pickle)
    except Exception as e:
        return f"cannot read the sweep's metrics ({type(e).__name__}: {e})", ()
    return "", tuple(_uavsim.COLUMNS)
