"""Timings of the Python module against the runner, and of a sweep on Dask.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/bench_python.py \\
        --runner build/release/tools/uavsim-run [--repeat 5] [--scenarios 400]

Prints, with the load average before and after each part (the machine may be shared):
  1. run(3600) of the trainer against uavsim-run's own wall time for the same flight without CSV;
  2. the cost of one step() call from Python over the simulation itself (the same periods flown by
     one run() call);
  3. telemetry(every=1) of an hour;
  4. a sweep of N scenarios of 60 s flights, serially in this process and on a local cluster of two
     single-threaded worker processes (the cluster already started; its start-up is printed apart),
     repeated and interleaved, and what two processes get of this machine's two cores at all.
"""

import argparse
import os
import resource
import re
import statistics
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import uavsim

HERE = os.path.dirname(os.path.abspath(__file__))
TRAINER = os.path.join(HERE, "..", "models", "trainer.mdl")
FLIGHT = dict(speed_kmh=58, angle_deg=0, altitude_m=300, distance_m=1000, mode="return")
RUNNER_ARGS = ["--speed", "58", "--angle", "0", "--altitude", "300", "--distance", "1000", "--mode", "return"]


def load():
    return "load %.2f %.2f %.2f on %d cores" % (*os.getloadavg(), os.cpu_count())


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def runner_wall(runner, seconds):
    """(the runner's own wall time for the flight, the CPU time of the whole process: start, model, flight)."""
    c0 = children_cpu()
    r = subprocess.run([runner, TRAINER, *RUNNER_ARGS, "--seconds", str(seconds)], capture_output=True, text=True,
                       check=True)
    return float(re.search(r"in ([0-9.]+) s wall", r.stderr).group(1)), children_cpu() - c0


def python_run(seconds):
    """(wall, CPU time of this thread) of run(seconds), and the flight."""
    f = uavsim.Flight(TRAINER, **FLIGHT)
    c0, t0 = time.thread_time(), time.perf_counter()
    f.run(seconds)
    return (time.perf_counter() - t0, time.thread_time() - c0), f


def summary(label, pairs):
    wall = [p[0] for p in pairs]
    cpu = [p[1] for p in pairs]
    print(f"   {label} wall min {min(wall):.3f} s, median {statistics.median(wall):.3f} s; "
          f"CPU min {min(cpu):.3f} s, median {statistics.median(cpu):.3f} s")
    return min(wall), min(cpu)


def bench_run(runner, repeat):
    print(f"1. run(3600) against the runner ({load()})")
    py, rn = [], []
    for _ in range(repeat):  # interleaved, so both see the same load
        rn.append(runner_wall(runner, 3600))
        py.append(python_run(3600)[0])
    rw, rc = summary("runner", rn)
    pw, pc = summary("python", py)
    print(f"   python / runner: wall {pw / rw:.3f}, CPU {pc / rc:.3f}  (target <= 1.2; {load()})")


def bench_step(repeat, periods=50000):
    print(f"2. step() from Python over the simulation ({load()})")
    per_step, per_period = [], []
    for _ in range(repeat):
        f = uavsim.Flight(TRAINER, **FLIGHT)
        step = f.step
        t0 = time.perf_counter()
        for _ in range(periods):
            step()
        per_step.append((time.perf_counter() - t0) / periods)
        g = uavsim.Flight(TRAINER, **FLIGHT)
        t0 = time.perf_counter()
        g.run(periods * 0.02)
        per_period.append((time.perf_counter() - t0) / periods)
        assert f.state == g.state
    over = [a - b for a, b in zip(per_step, per_period)]
    print(f"   a control period in one run(): min {min(per_period) * 1e6:.2f} us; by step(): min "
          f"{min(per_step) * 1e6:.2f} us")
    print(f"   overhead of a step() call: min {min(over) * 1e6:.2f} us, median {statistics.median(over) * 1e6:.2f} us"
          f"  (target <= 3 us; {load()})")


def bench_telemetry(repeat):
    print(f"3. telemetry(every=1) of an hour ({load()})")
    _, f = python_run(3600)
    times, cpu = [], []
    for _ in range(repeat):
        c0, t0 = time.thread_time(), time.perf_counter()
        t = f.telemetry(every=1)
        times.append(time.perf_counter() - t0)
        cpu.append(time.thread_time() - c0)
        rows = len(t["t_s"])
        del t
    print(f"   {rows} rows x {len(uavsim.COLUMNS)} columns: wall min {min(times) * 1e3:.1f} ms, median "
          f"{statistics.median(times) * 1e3:.1f} ms; CPU min {min(cpu) * 1e3:.1f} ms, median "
          f"{statistics.median(cpu) * 1e3:.1f} ms  (target < 50 ms; {load()})")


def sweep_scenarios(n):
    return [dict(model=TRAINER, speed_kmh=58, angle_deg=0, altitude_m=200, distance_m=800, mode="return",
                 gust_max=3, seed=i + 1, seconds=60, **{"settings.returnAltitude": 100 + 10 * (i % 10)})
            for i in range(n)]


def _process_cpu():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime


def machine_ceiling(runner, repeat):
    """What two cores give two independent processes here: the runner's own time for a two-hour flight
    alone, then two such runners at once (the median of each). A shared or virtual machine loses some
    of each core when both are busy, and no sweep can beat that."""
    alone, paired = [], []
    for _ in range(repeat):
        alone.append(runner_wall(runner, 7200)[0])
        with ThreadPoolExecutor(2) as pool:
            paired += [r[0] for r in pool.map(lambda _: runner_wall(runner, 7200), range(2))]
    a, b = statistics.median(alone), statistics.median(paired)
    print(f"   two runners at once: {b:.3f} s each against {a:.3f} s alone (medians): two processes on two "
          f"cores give at most {2 * a / b:.2f}x here")


def bench_sweep(runner, n, repeat):
    from distributed import Client
    from uavsim._sweep import local_cluster
    metrics = ["final_distance_m", "max_bank_deg", "min_altitude_m", "time_to_home_s"]
    scenarios = sweep_scenarios(n)
    print(f"4. sweep of {n} scenarios of 60 s flights, {repeat} times each way, interleaved ({load()})")
    t0 = time.perf_counter()
    with local_cluster(2) as cluster, Client(cluster) as client:
        t_start = time.perf_counter() - t0
        uavsim.sweep(scenarios[:8], metrics, client, progress=False)  # workers import uavsim
        serial, cluster_runs = [], []
        for _ in range(repeat):
            c0, t0 = time.process_time(), time.perf_counter()
            rows = uavsim.sweep(scenarios, metrics, progress=False)
            serial.append((time.perf_counter() - t0, time.process_time() - c0))
            w0 = client.run(_process_cpu)
            c0, t0 = time.process_time(), time.perf_counter()
            parallel = uavsim.sweep(scenarios, metrics, client, progress=False)
            t_cluster, cpu_client = time.perf_counter() - t0, time.process_time() - c0
            w1 = client.run(_process_cpu)
            cluster_runs.append((t_cluster, cpu_client, sorted(w1[k] - w0[k] for k in w1)))
            assert [r["final_distance_m"] for r in parallel] == [r["final_distance_m"] for r in rows]
    s_wall = statistics.median(w for w, _ in serial)
    s_cpu = statistics.median(c for _, c in serial)
    c_wall = statistics.median(w for w, _, _ in cluster_runs)
    c_client = statistics.median(c for _, c, _ in cluster_runs)
    c_workers = [statistics.median(w[i] for _, _, w in cluster_runs) for i in range(2)]
    print(f"   serial, in this process: wall median {s_wall:.2f} s (min {min(w for w, _ in serial):.2f}), "
          f"CPU {s_cpu:.2f} s")
    print(f"   local cluster, 2 workers: wall median {c_wall:.2f} s (min {min(w for w, _, _ in cluster_runs):.2f}; "
          f"its start-up {t_start:.2f} s apart); CPU {c_workers[0]:.2f} + {c_workers[1]:.2f} s in the workers, "
          f"{c_client:.2f} s in this process (client and scheduler)")
    ratios = sorted(s[0] / c[0] for s, c in zip(serial, cluster_runs))
    print(f"   throughput {s_wall / c_wall:.2f}x the serial sweep in wall time, medians; each pair: "
          f"{', '.join(f'{r:.2f}' for r in ratios)}  (target >= 1.7; {load()})")
    machine_ceiling(runner, repeat)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--runner", required=True, help="build/release/tools/uavsim-run")
    p.add_argument("--repeat", type=int, default=5)
    p.add_argument("--scenarios", type=int, default=400)
    p.add_argument("--only", choices=["run", "step", "telemetry", "sweep"])
    a = p.parse_args()
    if a.only in (None, "run"):
        bench_run(a.runner, a.repeat)
    if a.only in (None, "step"):
        bench_step(a.repeat)
    if a.only in (None, "telemetry"):
        bench_telemetry(a.repeat)
    if a.only in (None, "sweep"):
        bench_sweep(a.runner, a.scenarios, a.repeat)
    return 0


if __name__ == "__main__":
    sys.exit(main())
