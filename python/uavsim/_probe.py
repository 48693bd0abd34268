"""Asked of every Dask worker before a sweep: does it import this build of uavsim?

A worker that cannot import uavsim cannot unpickle a function of it either, and Dask's worker then
stops, so the sweep would wait for ever. The sweep registers this module to be sent by value
(cloudpickle.register_pickle_by_value): the question arrives even where the answer is no.
"""


def import_uavsim():
    """("", the telemetry columns) when the module imports here; (the error's text, ()) otherwise."""
    try:
        from uavsim import _uavsim
    except Exception as e:  # an answer, not a dead worker
        return f"{type(e).__name__}: {e}", ()
    return "", tuple(_uavsim.COLUMNS)
