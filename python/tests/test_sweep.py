"""Sweeps: scenario order, error rows, sweep file errors; the same results serially, on a local Dask
cluster and on a scheduler with two workers started here on loopback."""

import importlib
import json
import math
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

import pytest

import uavsim
from uavsim import metrics

PYTHON = "/usr/bin/python3"
METRICS = ["final_distance_m", "max_bank_deg", "min_altitude_m", "time_to_home_s:150", "flight_time_s"]


def scenarios(trainer, count=8):
    """Gust seeds x return altitudes, a late engagement, and two that fail."""
    out = [dict(model=trainer, speed_kmh=58, angle_deg=0, altitude_m=80, distance_m=500, mode="return",
                gust_max=4, seed=seed, seconds=8, **{"settings.returnAltitude": alt})
           for seed in range(1, count // 2 + 1) for alt in (100, 140)]
    out.insert(2, dict(model=trainer, speed_kmh=58, angle_deg=0, altitude_m=100, ailerons=40, mode="stabilise",
                       throttle=0, engage_at=1.5, seconds=5))
    out.insert(4, dict(model=trainer, speed_kmh=130, seconds=5))          # out of range
    out.insert(5, dict(model=trainer + ".missing", seconds=5))           # no such model
    return out


def flown_alone(sc):
    """What the scenario gives flown by hand, for the serial sweep to be checked against."""
    f = uavsim.Flight(sc["model"], speed_kmh=sc["speed_kmh"], angle_deg=sc["angle_deg"],
                      altitude_m=sc["altitude_m"], distance_m=sc["distance_m"], mode=sc["mode"],
                      gust_max=sc["gust_max"], seed=sc["seed"],
                      settings={"returnAltitude": sc["settings.returnAltitude"]})
    f.run(sc["seconds"])
    return metrics.compute(METRICS, f.telemetry(every=1))


def same_rows(a, b):
    assert len(a) == len(b)
    for x, y in zip(a, b):
        assert x.keys() == y.keys()
        for k in x:
            if isinstance(x[k], float) and math.isnan(x[k]):
                assert math.isnan(y[k]), k
            else:
                assert x[k] == y[k], k


def test_serial_sweep_in_scenario_order_with_error_rows(trainer):
    scs = scenarios(trainer)
    rows = uavsim.sweep(scs, METRICS)
    assert len(rows) == len(scs)
    assert rows[4]["error"] == "OptionError: speed_kmh: 130 is outside 0 .. 100"
    assert rows[5]["error"].startswith("ModelError: ") and ".missing" in rows[5]["error"]
    assert all(math.isnan(rows[i][m]) for i in (4, 5) for m in METRICS)
    for i, (sc, row) in enumerate(zip(scs, rows)):
        for key, value in sc.items():
            assert row[key] == value, (i, key)
        if i in (2, 4, 5):
            continue
        assert row["error"] == ""
        assert {m: row[m] for m in METRICS} == flown_alone(sc)
    # The late engagement: off until 1.5 s (the banked glide), then stabilised.
    assert rows[2]["error"] == "" and rows[2]["flight_time_s"] == 5.0
    # Importing the command line's module leaves uavsim.sweep callable.
    importlib.import_module("uavsim.sweep")
    assert uavsim.sweep(scs[:1], METRICS) == rows[:1]


def test_metrics_reduce_the_telemetry(trainer):
    f = uavsim.Flight(trainer, speed_kmh=58, angle_deg=0, altitude_m=100, distance_m=300, mode="return")
    f.run(40)
    t = f.telemetry(every=1)
    got = metrics.compute(["final_distance_m", "max_distance_m", "time_to_home_s:150", "max_bank_deg"], t)
    assert got["final_distance_m"] == f.state["posD_m"]
    assert got["max_distance_m"] >= 300
    first = next(i for i, d in enumerate(t["posD_m"]) if d <= 150)
    assert got["time_to_home_s:150"] == t["t_s"][first] and t["posD_m"][first - 1] > 150
    assert got["max_bank_deg"] == max(abs(r) for r in t["roll_deg"])
    assert math.isnan(metrics.compute(["time_to_home_s:0.001"], t)["time_to_home_s:0.001"])
    for bad, message in [("nosuch", "unknown metric 'nosuch'"), ("max_bank_deg:3", "takes no parameter"),
                         ("time_to_home_s:far", "not a number"), (7, "a name is needed")]:
        with pytest.raises(uavsim.SweepError, match=message):
            uavsim.sweep([dict(model=trainer, seconds=1)], [bad])


def test_sweep_file_errors_name_the_scenario_and_key(trainer, tmp_path):
    with pytest.raises(uavsim.SweepError, match="scenario 1: unknown option 'speedkmh'"):
        uavsim.sweep([dict(model=trainer), dict(model=trainer, speedkmh=3)], METRICS)
    with pytest.raises(uavsim.SweepError, match="scenario 0: no model"):
        uavsim.sweep([dict(seconds=3)], METRICS)
    cases = [
        ('{"scenarios": [{"model": "m.mdl",}]}', r"not valid JSON: Expecting property name.* line 1 column \d+"),
        ('{"base": {"model": "m.mdl"}, "grid": {"seed": [1, 2], "altitud_m": [3]}}',
         "scenario 0: unknown option 'altitud_m'"),
        ('{"scenario": []}', "unknown key 'scenario'"),
        ('{"grid": {"seed": []}}', "grid: a dict of KEY: \\[values\\]"),
        ('[1, 2]', "a JSON object"),
    ]
    for text, message in cases:
        sweep_file = tmp_path / "sweep.json"
        sweep_file.write_text(text)
        r = subprocess.run([PYTHON, "-m", "uavsim.sweep", str(sweep_file), "--out", str(tmp_path / "r.csv"),
                            "--workers", "0"], capture_output=True, text=True, timeout=60)
        assert r.returncode == 2, text
        assert r.stderr.startswith("uavsim.sweep: ") and __import__("re").search(message, r.stderr), r.stderr
        assert not (tmp_path / "r.csv").exists()


def write_sweep_file(path, trainer):
    doc = {"metrics": METRICS,
            "base": {"model": os.path.relpath(trainer, path.parent), "speed_kmh": 58, "angle_deg": 0,
                     "altitude_m": 80, "distance_m": 500, "mode": "return", "gust_max": 4, "seconds": 8},
            "grid": {"seed": [1, 2, 3], "settings.returnAltitude": [100, 140]},
            "scenarios": [{"speed_kmh": 500}]}
    path.write_text(json.dumps(doc))


def run_cli(sweep_file, out, *args):
    r = subprocess.run([PYTHON, "-m", "uavsim.sweep", str(sweep_file), "--out", str(out), *args],
                       capture_output=True, text=True, timeout=180)
    assert r.returncode == 0, r.stderr
    return out.read_text()


def test_cli_serial_writes_rows_in_order(trainer, tmp_path):
    write_sweep_file(tmp_path / "sweep.json", trainer)
    text = run_cli(tmp_path / "sweep.json", tmp_path / "serial.csv", "--workers", "0")
    lines = text.splitlines()
    assert lines[0].split(",")[:2] == ["scenario", "model"]
    assert lines[0].endswith(",".join(METRICS) + ",error")
    assert len(lines) == 1 + 7
    assert "OptionError: speed_kmh: 500 is outside 0 .. 100" in lines[1]
    assert [line.split(",")[0] for line in lines[1:]] == [str(i) for i in range(7)]


@pytest.mark.dask
def test_local_cluster_gives_the_serial_results(trainer, tmp_path):
    from distributed import Client, LocalCluster
    scs = scenarios(trainer, count=12)
    serial = uavsim.sweep(scs, METRICS)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        # Batches of one: the results come back in any order and are put back in scenario order.
        same_rows(uavsim.sweep(scs, METRICS, client, batch_size=1), serial)
        same_rows(uavsim.sweep(scs, METRICS, client), serial)
    write_sweep_file(tmp_path / "sweep.json", trainer)
    assert run_cli(tmp_path / "sweep.json", tmp_path / "local.csv", "--workers", "2") == \
        run_cli(tmp_path / "sweep.json", tmp_path / "serial.csv", "--workers", "0")


@pytest.mark.dask
def test_a_worker_killed_in_flight_fails_its_scenarios_and_the_sweep_goes_on(trainer):
    import dask
    from distributed import Client, LocalCluster
    scs = [dict(model=trainer, speed_kmh=58, altitude_m=a, seconds=2) for a in (100, 110, 120, 150)]
    # A metric that kills its worker process on the scenario flown from 150 m. Dask counts every task
    # the dying worker held as a suspect, and allows none to die here: so it is the last, and it waits
    # a second first, for the worker to report the tasks it finished before.
    killer = ("killer", lambda t: (time.sleep(1), os._exit(3)) if t["posH_m"][0] > 130 else 0.0)
    with dask.config.set({"distributed.scheduler.allowed-failures": 0}), \
            LocalCluster(n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        rows = uavsim.sweep(scs, ["final_distance_m", killer], client, batch_size=1)
    assert [r["error"].split(":")[0] for r in rows] == ["", "", "", "KilledWorker"]
    assert math.isnan(rows[3]["final_distance_m"]) and math.isnan(rows[3]["killer"])
    serial = uavsim.sweep(scs[:3], ["final_distance_m"])
    assert [r["final_distance_m"] for r in rows[:3]] == [r["final_distance_m"] for r in serial]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.mark.dask
def test_scheduler_and_two_workers_give_the_serial_results(trainer, tmp_path):
    port = free_port()
    address = f"tcp://127.0.0.1:{port}"
    env = dict(os.environ)  # the workers import uavsim from the same PYTHONPATH
    scheduler = shutil.which("dask-scheduler", path="/usr/bin:" + os.environ.get("PATH", ""))
    worker = shutil.which("dask-worker", path="/usr/bin:" + os.environ.get("PATH", ""))
    assert scheduler and worker, "python3-distributed installs dask-scheduler and dask-worker"
    procs = [subprocess.Popen([scheduler, "--host", "127.0.0.1", "--port", str(port), "--no-dashboard"],
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        for _ in range(2):
            procs.append(subprocess.Popen([worker, address, "--nthreads", "1",
                                           "--nworkers", "1", "--host", "127.0.0.1", "--no-dashboard"],
                                          env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        from distributed import Client
        with Client(address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=60)
            assert len(client.scheduler_info()["workers"]) == 2
        write_sweep_file(tmp_path / "sweep.json", trainer)
        remote = run_cli(tmp_path / "sweep.json", tmp_path / "remote.csv", "--scheduler", address)
        assert remote == run_cli(tmp_path / "sweep.json", tmp_path / "serial.csv", "--workers", "0")
        # A metric from a module the workers do not have: refused before any task is sent.
        (tmp_path / "clientonly").mkdir()
        (tmp_path / "clientonly" / "my_metrics.py").write_text("def zero(t):\n    return 0.0\n")
        sys.path.insert(0, str(tmp_path / "clientonly"))
        try:
            my_metrics = importlib.import_module("my_metrics")
            with Client(address, timeout="30s") as client:
                with pytest.raises(uavsim.SweepError, match="cannot read the sweep's metrics "
                                                            r"\(ModuleNotFoundError: No module named 'my_metrics'\)"):
                    uavsim.sweep(scenarios(trainer)[:2], [("zero", my_metrics.zero)], client)
        finally:
            sys.path.remove(str(tmp_path / "clientonly"))
        # A third worker that imports another uavsim: the sweep is refused, naming it, instead of
        # waiting for ever on a worker that stops when it cannot unpickle the task.
        elsewhere = tmp_path / "elsewhere" / "uavsim"
        elsewhere.mkdir(parents=True)
        (elsewhere / "__init__.py").write_text("raise ImportError('not this build')\n")
        procs.append(subprocess.Popen([worker, address, "--nthreads", "1", "--host", "127.0.0.1", "--no-dashboard"],
                                      env=dict(env, PYTHONPATH=str(elsewhere.parent)),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        with Client(address, timeout="30s") as client:
            client.wait_for_workers(3, timeout=60)
        r = subprocess.run([PYTHON, "-m", "uavsim.sweep", str(tmp_path / "sweep.json"), "--out",
                            str(tmp_path / "refused.csv"), "--scheduler", address],
                           capture_output=True, text=True, timeout=120)
        assert r.returncode == 2
        assert "cannot import uavsim (ImportError: not this build)" in r.stderr, r.stderr
        assert not (tmp_path / "refused.csv").exists()
        # The scheduler lost in the middle of hour-long flights: what was flown is kept.
        procs.pop().terminate()
        with Client(address, timeout="30s") as client:
            while len(client.scheduler_info()["workers"]) != 2:
                time.sleep(0.1)
        p = start_long_sweep(trainer, tmp_path, tmp_path / "lost.csv", "--scheduler", address)
        procs[0].kill()
        _, err = p.communicate(timeout=60)
        assert p.returncode == 2, err
        assert "the connection to the Dask scheduler was lost after" in err, err
        lines = (tmp_path / "lost.csv").read_text().splitlines()
        assert len(lines) == 41
        assert any(line.endswith(",") for line in lines)
        assert any(line.endswith(",nan,not flown: the Dask scheduler was lost") for line in lines)
    finally:
        for p in reversed(procs):
            p.terminate()
        for p in procs:
            try:
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                p.kill()


@pytest.mark.dask
def test_a_scheduler_that_does_not_answer_fails_within_ten_seconds(trainer, tmp_path):
    write_sweep_file(tmp_path / "sweep.json", trainer)
    t0 = time.monotonic()
    r = subprocess.run([PYTHON, "-m", "uavsim.sweep", str(tmp_path / "sweep.json"), "--out", str(tmp_path / "r.csv"),
                        "--scheduler", f"tcp://127.0.0.1:{free_port()}"], capture_output=True, text=True,
                       timeout=60)
    wall = time.monotonic() - t0
    assert r.returncode == 2
    assert "cannot reach the Dask scheduler at tcp://127.0.0.1:" in r.stderr and "within 10 s" in r.stderr, r.stderr
    assert wall < 10 + 5, "ten seconds, plus starting Python"
    assert not (tmp_path / "r.csv").exists()


@pytest.mark.parametrize("count,threads", [(0, 2), (1, 2), (7, 2), (15, 2), (400, 2), (401, 8), (40000, 2)])
def test_shrinking_batches_hold_every_scenario_once_in_order(count, threads):
    from uavsim._sweep import _guided_batches
    batches = _guided_batches(list(range(count)), threads)
    assert [i for b in batches for i in b] == list(range(count))
    assert all(1 <= len(b) <= 50 for b in batches)
    sizes = [len(b) for b in batches]
    assert sizes == sorted(sizes, reverse=True)


def test_a_worker_under_dasks_trim_threshold_reuses_freed_memory(trainer):
    # Dask's nanny starts workers with MALLOC_TRIM_THRESHOLD_=65536; without the allocator set back, every
    # flight's telemetry was mapped and faulted in anew (some 600 faults a 60 s flight against 15).
    code = f"""
import resource
from uavsim import _sweep
sc = _sweep.normalise([dict(model={trainer!r}, speed_kmh=58, altitude_m=200, seconds=60)])[0]
m = _sweep._check_metrics(["final_distance_m"])
_sweep.fly_batch([(0, sc)] * 2, m)
before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
_sweep.fly_batch([(0, sc)] * 20, m)
print((resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / 20)
"""
    r = subprocess.run([PYTHON, "-c", code], capture_output=True, text=True, timeout=60,
                       env=dict(os.environ, MALLOC_TRIM_THRESHOLD_="65536"))
    assert r.returncode == 0, r.stderr
    assert float(r.stdout) < 100


def start_long_sweep(trainer, tmp_path, out, *args):
    """The command line on 40 hour-long flights (about a third of a second each), returned once the
    first rows have come back, with most of them still to fly."""
    doc = {"metrics": ["final_distance_m"], "base": {"model": trainer, "speed_kmh": 58, "altitude_m": 300,
                                                     "distance_m": 1000, "mode": "return", "seconds": 3600},
           "grid": {"seed": list(range(1, 41))}}
    (tmp_path / "long.json").write_text(json.dumps(doc))
    p = subprocess.Popen([PYTHON, "-m", "uavsim.sweep", str(tmp_path / "long.json"), "--out", str(out), *args,
                          "--progress"], stderr=subprocess.PIPE, text=True, start_new_session=True)
    seen = ""
    while "/40 flights" not in seen:
        ch = p.stderr.read(1)
        assert ch, f"the sweep ended too soon: {seen}"
        seen += ch
    return p


@pytest.mark.dask
@pytest.mark.parametrize("workers", ["0", "2"])
def test_an_interrupted_sweep_keeps_what_was_flown(trainer, tmp_path, workers):
    out = tmp_path / "r.csv"
    p = start_long_sweep(trainer, tmp_path, out, "--workers", workers)
    os.killpg(p.pid, signal.SIGINT)  # as Ctrl-C on a terminal: to the workers too
    _, err = p.communicate(timeout=60)
    assert p.returncode == 130, err
    assert "the sweep was interrupted after" in err and f"rows in {out}" in err
    lines = out.read_text().splitlines()
    assert len(lines) == 41
    flown = [line for line in lines[1:] if line.endswith(",")]
    not_flown = [line for line in lines[1:] if line.endswith(",nan,not flown: the sweep was interrupted")]
    assert flown and not_flown and len(flown) + len(not_flown) == 40
    assert [line.split(",")[0] for line in lines[1:]] == [str(i) for i in range(40)]
