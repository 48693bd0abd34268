"""Sweeps: many flights, each reduced to a few metrics, on Dask or in this process.

A scenario is a dict of ``Flight`` options plus ``seconds`` (simulated, default 60, as the
runner's) and optionally ``engage_at`` (s: the flight starts in mode "off" and its ``mode`` is
engaged then, as the runner's --engage-at). Settings go in ``settings`` as a dict, or one per key as
``"settings.returnAltitude": 200``.

Dask does the scheduling (``distributed``); this module only cuts the scenarios into batches,
submits them and puts the results back in scenario order.
"""

import argparse
import csv
import ctypes
import itertools
import json
import math
import os
import signal
import sys
import time

FLIGHT_OPTIONS = ("model", "speed_kmh", "angle_deg", "altitude_m", "distance_m", "wind_north", "wind_east",
                  "gust_max", "gust_period", "seed", "ailerons", "elevator", "rudder", "throttle", "mode",
                  "settings", "decimal_sep", "keep_every")
SCENARIO_KEYS = FLIGHT_OPTIONS + ("seconds", "engage_at", "every")
DEFAULT_SECONDS = 60.0
DEFAULT_METRICS = ("final_distance_m", "min_altitude_m", "max_bank_deg")


class SweepError(ValueError):
    """A sweep that cannot start: a sweep file, scenario key, metric or scheduler problem, named."""


class SweepInterrupted(KeyboardInterrupt):
    """Ctrl-C during a sweep. `rows` holds every scenario's row, in scenario order: the flown ones as
    they came back, the others with NaN metrics and NOT_FLOWN as their error."""

    def __init__(self, rows, flown):
        super().__init__(f"the sweep was interrupted after {flown} of {len(rows)} scenarios")
        self.rows, self.flown = rows, flown


class SweepLost(SweepError):
    """The Dask scheduler lost in the middle of a sweep. `rows` as SweepInterrupted's, the ones not
    flown with LOST as their error."""

    def __init__(self, rows, flown, reason):
        super().__init__(f"the connection to the Dask scheduler was lost after {flown} of {len(rows)} "
                         f"scenarios ({reason})")
        self.rows, self.flown = rows, flown


NOT_FLOWN = "not flown: the sweep was interrupted"
LOST = "not flown: the Dask scheduler was lost"


class _ClusterLost(Exception):
    pass


def normalise(scenarios):
    """Checked copies of the scenarios: every key known ("settings.NAME" folded into settings),
    a model given. SweepError names the scenario (counted from 0) and the key."""
    out = []
    if isinstance(scenarios, (str, bytes, dict)) or not hasattr(scenarios, "__iter__"):
        raise SweepError("scenarios: a list of dicts is needed")
    for i, sc in enumerate(scenarios):
        if not isinstance(sc, dict):
            raise SweepError(f"scenario {i}: a dict of options is needed, not {type(sc).__name__}")
        s = {}
        settings = {}
        for key, value in sc.items():
            if not isinstance(key, str):
                raise SweepError(f"scenario {i}: option names are texts, not {key!r}")
            if key.startswith("settings."):
                settings[key[len("settings."):]] = value
            elif key == "settings":
                if isinstance(value, dict):
                    settings.update(value)
                else:
                    raise SweepError(f"scenario {i}: settings: a dict of NAME: VALUE is needed")
            elif key in SCENARIO_KEYS:
                s[key] = value
            else:
                raise SweepError(f"scenario {i}: unknown option '{key}' (known: {', '.join(SCENARIO_KEYS)})")
        if "model" not in s:
            raise SweepError(f"scenario {i}: no model")
        if settings:
            s["settings"] = settings
        out.append(s)
    return out


def _check_metrics(metrics):
    from . import metrics as m
    if isinstance(metrics, str):
        metrics = [metrics]
    out = []
    for metric in metrics:
        if isinstance(metric, tuple) and len(metric) == 2 and isinstance(metric[0], str) and callable(metric[1]):
            out.append(metric)
            continue
        try:
            m.resolve(metric)
        except ValueError as e:
            raise SweepError(str(e)) from None
        out.append(metric)
    return out


def _metric_names(metrics):
    return [m[0] if isinstance(m, tuple) else m for m in metrics]


def fly(scenario, metrics):
    """Flies one scenario; {metric: value, ..., "error": ""}, or the error's text with NaN metrics."""
    from . import metrics as m
    from ._uavsim import Flight
    names = _metric_names(metrics)
    try:
        options = {k: v for k, v in scenario.items() if k in FLIGHT_OPTIONS}
        if isinstance(options.get("model"), dict):  # the content read where the sweep was started
            options["model_name"] = options["model"]["name"]
            options["model"] = options["model"]["bytes"]
        # The flight keeps only the rows the metrics read: an hour at every tick is 150 MB.
        every = scenario.get("every", 1)
        if isinstance(every, bool) or not isinstance(every, int) or not 1 <= every <= 10 ** 9:
            raise ValueError(f"every: {every!r} is not a whole number of ticks 1 .. 1000000000")
        options.setdefault("keep_every", every)
        engage_at = scenario.get("engage_at")
        seconds = scenario.get("seconds", DEFAULT_SECONDS)
        mode = options.get("mode", "off")
        if engage_at is not None:
            options["mode"] = "off"
        flight = Flight(**options)
        if engage_at is not None:
            if not isinstance(engage_at, (int, float)) or not 0 <= engage_at <= seconds:
                raise ValueError(f"engage_at: {engage_at!r} is outside 0 .. seconds ({seconds!r})")
            flight.run(engage_at)
            flight.mode = mode
            seconds = seconds - flight.time
        flight.run(seconds)
        row = m.compute(metrics, flight.telemetry(every=every))
        row["error"] = ""
        return row
    except Exception as e:  # the row carries it; the sweep goes on
        row = {n: math.nan for n in names}
        row["error"] = f"{type(e).__name__}: {e}"
        return row


def fly_batch(batch, metrics):
    """[(index, result)] of a batch of (index, scenario): one Dask task."""
    _keep_freed_memory()
    return [(i, fly(sc, metrics)) for i, sc in batch]


_allocator_set = False  # in this process


def _keep_freed_memory():
    """Lets glibc keep what a flight frees for the next one, in a worker process.

    Dask's nanny starts its workers with MALLOC_TRIM_THRESHOLD_=65536, so that they hand freed memory back
    to the system at once; that also fixes glibc's mmap threshold at 128 KiB. A flight's telemetry is a few
    megabytes freed when its metrics are taken, so every flight mapped and faulted it in again (some 600
    page faults a 60 s flight against 15 in a plain process) and the workers spent a third of their time
    in the kernel. Where the variable is set, blocks up to 32 MiB now come from the heap and up to 64 MiB
    of free heap is kept; without it glibc's adaptive thresholds do the same and are left alone."""
    global _allocator_set
    if _allocator_set:
        return
    _allocator_set = True
    if "MALLOC_TRIM_THRESHOLD_" not in os.environ:
        return
    try:
        mallopt = ctypes.CDLL("libc.so.6").mallopt
    except (OSError, AttributeError):  # not glibc: its own allocator, left as it is
        return
    mallopt(M_TRIM_THRESHOLD, 64 << 20)
    mallopt(M_MMAP_THRESHOLD, 32 << 20)  # glibc's largest on 64-bit


M_TRIM_THRESHOLD, M_MMAP_THRESHOLD = -1, -3  # <malloc.h>


def _with_model_bytes(scenarios):
    """Scenarios whose model names a file here carry its bytes, so workers need no copy of it."""
    cache = {}
    out = []
    for sc in scenarios:
        model = sc["model"]
        if isinstance(model, (str, os.PathLike)) and "\n" not in str(model):
            path = os.fspath(model)
            if path not in cache:
                try:
                    with open(path, "rb") as f:
                        cache[path] = {"name": path, "bytes": f.read(16 * 1024 * 1024 + 1)}
                except OSError:
                    cache[path] = None  # the worker's Flight names the error in the row
            if cache[path] is not None:
                sc = dict(sc, model=cache[path])
        out.append(sc)
    return out


class _Progress:
    """A one-line bar on the terminal: flights done, failed, elapsed time."""

    def __init__(self, total, stream, enabled):
        self.total, self.stream, self.enabled = total, stream, enabled
        self.done = self.failed = 0
        self.t0 = time.monotonic()
        self.shown = 0.0

    def add(self, results):
        self.done += len(results)
        self.failed += sum(1 for _, r in results if r["error"])
        now = time.monotonic()
        if self.enabled and (now - self.shown > 0.2 or self.done == self.total):
            self.shown = now
            width = 30
            full = width * self.done // max(1, self.total)
            self.stream.write(f"\r[{'#' * full}{'.' * (width - full)}] {self.done}/{self.total} flights, "
                              f"{self.failed} failed, {now - self.t0:.1f} s")
            if self.done == self.total:
                self.stream.write("\n")
            self.stream.flush()


def sweep(scenarios, metrics=DEFAULT_METRICS, client=None, *, batch_size=None, progress=None):
    """Flies every scenario and returns one dict per scenario, in scenario order: its options
    ("settings.NAME" for each setting), then the metrics, then "error" ("" when it flew).

    metrics: names from uavsim.metrics ("final_distance_m", "time_to_home_s:50", ...) or
    (name, function) pairs; a function takes the telemetry dict and must be picklable for Dask.
    client: a distributed.Client, or None to fly here, one after another.
    progress: a bar on standard error; None shows it when standard error is a terminal.
    Ctrl-C raises SweepInterrupted and a scheduler lost midway SweepLost: both hold every row, the
    ones not flown marked in their error.
    """
    scenarios = normalise(scenarios)
    metrics = _check_metrics(metrics)
    if progress is None:
        progress = sys.stderr.isatty()
    bar = _Progress(len(scenarios), sys.stderr, progress and len(scenarios) > 0)
    results = [None] * len(scenarios)

    def kept(why):
        names = _metric_names(metrics)
        return [_row(sc, r if r is not None else dict({n: math.nan for n in names}, error=why))
                for sc, r in zip(scenarios, results)], sum(r is not None for r in results)

    try:
        _fly_all(scenarios, metrics, client, batch_size, results, bar)
    except KeyboardInterrupt:
        raise SweepInterrupted(*kept(NOT_FLOWN)) from None
    except _ClusterLost as e:
        raise SweepLost(*kept(LOST), e.args[0]) from None
    return [_row(sc, r) for sc, r in zip(scenarios, results)]


def _fly_all(scenarios, metrics, client, batch_size, results, bar):
    """Fills results[i] for each scenario as its flight comes back."""
    if client is None:
        for i, sc in enumerate(scenarios):
            r = fly(sc, metrics)
            results[i] = r
            bar.add([(i, r)])
    else:
        import asyncio
        from concurrent.futures import CancelledError
        from distributed import as_completed
        threads = check_workers(client, metrics)
        shipped = list(enumerate(_with_model_bytes(scenarios)))
        if batch_size is None:
            batches = _guided_batches(shipped, threads)
        else:
            batches = [shipped[k:k + batch_size] for k in range(0, len(shipped), batch_size)]
        futures = client.map(fly_batch, batches, metrics=metrics, pure=False)
        batch_of = {f.key: b for f, b in zip(futures, batches)}
        names = _metric_names(metrics)
        try:
            for future in as_completed(futures):
                if future.status == "error":
                    # The task itself failed (a worker killed while flying it, a result that could
                    # not be sent back): its scenarios carry the reason and the sweep goes on.
                    e = future.exception()
                    done = [(i, dict({n: math.nan for n in names}, error=f"{type(e).__name__}: {e}"))
                            for i, _ in batch_of[future.key]]
                else:
                    done = future.result()
                for i, r in done:
                    results[i] = r
                bar.add(done)
        except KeyboardInterrupt:
            client.cancel(futures)  # the cluster stops flying what nobody will read
            raise
        except (OSError, CancelledError, asyncio.CancelledError) as e:
            # The scheduler gone (the client's futures are cancelled when it is), or the connection.
            raise _ClusterLost(f"{type(e).__name__}: {e}") from None


def check_workers(client, metrics):
    """The worker threads of the client's cluster, every worker asked first whether it imports this build
    of uavsim and can read the metrics. SweepError when there is no worker, or names the first that
    cannot."""
    import cloudpickle
    from distributed.protocol.pickle import dumps
    from . import _probe, _uavsim
    nthreads = client.nthreads()
    if not nthreads:
        raise SweepError("the Dask cluster has no workers")
    try:
        metrics_pickle = dumps(metrics)  # as Dask sends them with each task
    except Exception as e:
        raise SweepError(f"the metrics cannot be sent to the Dask workers ({type(e).__name__}: {e})") from None
    cloudpickle.register_pickle_by_value(_probe)
    try:
        answers = client.run(_probe.check, metrics_pickle)
    finally:
        cloudpickle.unregister_pickle_by_value(_probe)
    columns = tuple(_uavsim.COLUMNS)
    for worker, (error, theirs) in sorted(answers.items()):
        if error:
            raise SweepError(f"the Dask worker {worker} {error}; every worker needs this uavsim build "
                             "importable (its PYTHONPATH, or the package installed), and the modules of "
                             "the metric functions")
        if theirs != columns:
            raise SweepError(f"the Dask worker {worker} has a different uavsim build (its telemetry columns "
                             "differ); every worker needs this build")
    return max(1, sum(nthreads.values()))


def _guided_batches(items, threads, largest=50):
    """Batches that shrink as the sweep goes: each takes a part of what is left for every worker thread,
    so the first are large (a Dask task costs some 3 ms of CPU on a small cluster, about a 60 s flight)
    and the last are a flight or two, which leaves no thread idle long at the end."""
    smallest = 2 if len(items) >= 16 * threads else 1
    batches, k = [], 0
    while k < len(items):
        size = min(largest, max(smallest, -(-(len(items) - k) // (2 * threads))))
        batches.append(items[k:k + size])
        k += size
    return batches


def _row(scenario, result):
    row = {}
    for key, value in scenario.items():
        if key == "settings":
            for name, v in value.items():
                row[f"settings.{name}"] = v
        else:
            row[key] = value
    row.update(result)
    return row


# ----- the command line: python3 -m uavsim.sweep SWEEP.json --out results.csv -----

def load_sweep_file(path):
    """(scenarios, metrics) of a sweep file: {"metrics": [...], "base": {...}, "grid": {KEY: [values]},
    "scenarios": [{...}]}. Each scenario and each grid point is merged over base; a relative model
    path is taken from the file's folder."""
    try:
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
    except OSError as e:
        raise SweepError(f"{path}: {e.strerror}") from None
    except UnicodeDecodeError as e:
        raise SweepError(f"{path}: not UTF-8 text ({e.reason} at byte {e.start})") from None
    except json.JSONDecodeError as e:
        raise SweepError(f"{path}: not valid JSON: {e.msg} at line {e.lineno} column {e.colno}") from None
    if not isinstance(doc, dict):
        raise SweepError(f"{path}: a JSON object with 'scenarios' and/or 'grid' is needed")
    unknown = set(doc) - {"metrics", "base", "grid", "scenarios"}
    if unknown:
        raise SweepError(f"{path}: unknown key '{sorted(unknown)[0]}' (known: metrics, base, grid, scenarios)")
    base = doc.get("base", {})
    if not isinstance(base, dict):
        raise SweepError(f"{path}: base: a dict of options is needed")
    listed = doc.get("scenarios", [])
    if not isinstance(listed, list):
        raise SweepError(f"{path}: scenarios: a list of dicts is needed")
    scenarios = [dict(base, **sc) if isinstance(sc, dict) else sc for sc in listed]
    grid = doc.get("grid")
    if grid is not None:
        if not isinstance(grid, dict) or not all(isinstance(v, list) and v for v in grid.values()):
            raise SweepError(f"{path}: grid: a dict of KEY: [values] (non-empty lists) is needed")
        keys = list(grid)
        for values in itertools.product(*(grid[k] for k in keys)):
            scenarios.append(dict(base, **dict(zip(keys, values))))
    if not listed and grid is None:
        scenarios = [dict(base)]
    folder = os.path.dirname(os.path.abspath(path))
    for sc in scenarios:
        if isinstance(sc, dict) and isinstance(sc.get("model"), str) and "\n" not in sc["model"]:
            sc["model"] = os.path.normpath(os.path.join(folder, sc["model"]))
    return scenarios, doc.get("metrics", list(DEFAULT_METRICS))


def write_csv(rows, path, metric_names):
    """The rows as CSV: the scenario's number, its options in order of first appearance, the
    metrics, the error. The file is replaced whole."""
    columns = ["scenario"]
    for row in rows:
        for key in row:
            if key not in columns and key not in metric_names and key != "error":
                columns.append(key)
    columns += list(metric_names) + ["error"]
    tmp = f"{path}.uavsim-tmp.{os.getpid()}"
    try:
        with open(tmp, "w", newline="", encoding="utf-8") as f:
            w = csv.writer(f)
            w.writerow(columns)
            for i, row in enumerate(rows):
                w.writerow([i] + [_cell(row.get(c, "")) for c in columns[1:]])
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, path)
    except OSError as e:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise SweepError(f"cannot write '{path}': {e.strerror}") from None


def _cell(v):
    if isinstance(v, float):
        return repr(v)
    if isinstance(v, dict):
        return json.dumps(v, sort_keys=True)
    return v


def connect(scheduler, workers, timeout_s):
    """A distributed.Client: on the user's scheduler, or on a new local cluster of `workers`
    single-threaded worker processes. Returns (client, cluster or None)."""
    from distributed import Client
    if scheduler:
        try:
            return Client(scheduler, timeout=f"{timeout_s}s"), None
        except (OSError, TimeoutError) as e:
            raise SweepError(f"cannot reach the Dask scheduler at {scheduler} within {timeout_s:g} s: {e}") from None
    cluster = local_cluster(workers)
    return Client(cluster), cluster


def local_cluster(workers):
    """A local cluster of `workers` single-threaded worker processes, without the workers' statistical
    profiler, which would sample the flights' stacks every 10 ms, and without Dask's MALLOC_TRIM_THRESHOLD_
    (see _keep_freed_memory): the workers allocate as this process does."""
    import logging
    import dask
    from distributed import LocalCluster
    environ = {k: v for k, v in dask.config.get("distributed.nanny.pre-spawn-environ", {}).items()
               if k != "MALLOC_TRIM_THRESHOLD_"}
    # The worker processes ignore Ctrl-C (the disposition is inherited, and Python then keeps it): the
    # terminal sends it to them too, and it is this process that stops the sweep and closes the cluster.
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN) if _main_thread() else None
    try:
        with dask.config.set({"distributed.worker.profile.enabled": False,
                              "distributed.nanny.pre-spawn-environ": environ}):
            return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None,
                                silence_logs=logging.ERROR)
    finally:
        if previous is not None:
            signal.signal(signal.SIGINT, previous)


def _main_thread():
    import threading
    return threading.current_thread() is threading.main_thread()


def _write_kept(stopped, why, out, metrics):
    """What a stopped sweep flew is kept: every row, the ones not flown marked, for a sweep of those alone."""
    try:
        write_csv(stopped.rows, out, _metric_names(metrics))
    except SweepError as e:
        print(f"\nuavsim.sweep: {stopped}; {e}", file=sys.stderr)
        return
    print(f"\nuavsim.sweep: {stopped}; all {len(stopped.rows)} rows in {out}, the "
          f"{len(stopped.rows) - stopped.flown} not flown with \"{why}\" as their error", file=sys.stderr)


def main(argv=None):
    p = argparse.ArgumentParser(prog="python3 -m uavsim.sweep",
                                description="Flies the scenarios of a sweep file on Dask and writes one CSV row "
                                            "per scenario: its options, its metrics and its error if it failed.")
    p.add_argument("sweep_file", metavar="SWEEP.json", help="sweep file (JSON: metrics, base, grid, scenarios)")
    p.add_argument("--out", required=True, help="results CSV")
    p.add_argument("--scheduler", help="address of a running Dask scheduler, e.g. tcp://10.0.0.5:8786; "
                                       "without it a local cluster is started")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                   help="worker processes of the local cluster (default: one per core); 0 flies here, serially")
    p.add_argument("--timeout", type=float, default=10.0, help="seconds to reach the scheduler (default 10)")
    p.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                   help="progress bar on standard error (default: when it is a terminal)")
    args = p.parse_args(argv)
    client = cluster = None
    try:
        if args.workers < 0:
            raise SweepError("--workers: 0 or more")
        if not (args.timeout > 0 and math.isfinite(args.timeout)):
            raise SweepError("--timeout: a positive number of seconds")
        scenarios, metrics = load_sweep_file(args.sweep_file)
        scenarios = normalise(scenarios)  # unknown keys are named before any cluster starts
        metrics = _check_metrics(metrics)
        if args.scheduler or args.workers > 0:
            client, cluster = connect(args.scheduler, args.workers, args.timeout)
        t0 = time.monotonic()
        rows = sweep(scenarios, metrics, client, progress=args.progress)
        wall = time.monotonic() - t0
        write_csv(rows, args.out, _metric_names(metrics))
    except SweepLost as e:
        _write_kept(e, LOST, args.out, metrics)
        return 2
    except SweepError as e:
        print(f"uavsim.sweep: {e}", file=sys.stderr)
        return 2
    except SweepInterrupted as e:
        _write_kept(e, NOT_FLOWN, args.out, metrics)
        return 130
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    failed = sum(1 for r in rows if r["error"])
    print(f"uavsim.sweep: {len(rows)} scenarios in {wall:.1f} s, {failed} failed; results in {args.out}",
          file=sys.stderr)
    return 0
