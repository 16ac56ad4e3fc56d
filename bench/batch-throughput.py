"""Batch throughput: texsynth.batch on a local Dask cluster of one and of two worker processes, against the
same jobs done one after the other in one process, for 256 x 256 and 1024 x 1024 textures; then what a
cluster of N machines would give, from these figures. Writes a section of BENCHMARKS.md on standard output.

Usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/batch-throughput.py EXEMPLAR > batches.md
"""
import os
import sys
import tempfile
import time

import psutil

import texsynth
from texsynth.batch import run
from texsynth.batch.running import StopRequest, local_client
from texsynth.batch.work import write_whole

# Jobs per size: enough that the per-job figures settle (about 10 s of work on one core each).
JOBS = {256: 64, 1024: 12}
# Each measurement is taken this many times and the fastest kept: other work on the machine only slows it.
REPEATS = 3


def jobs_of(exemplar, size, count):
    return [{"exemplar": exemplar, "output": f"out/{size}-{seed}.png", "size": f"{size}x{size}", "seed": seed}
            for seed in range(1, count + 1)]


def in_one_process(exemplar, size, count, folder):
    """The batch's work without Dask: each job reads its exemplar's file, synthesizes on one thread, encodes
    and writes its output whole. Seconds, output bytes."""
    os.makedirs(os.path.join(folder, "out"), exist_ok=True)
    written = 0
    start = time.perf_counter()
    for job in jobs_of(exemplar, size, count):
        with open(job["exemplar"], "rb") as opened:
            picture = texsynth.decode_image(opened.read())
        texture = texsynth.synthesize(picture, (size, size), seed=job["seed"], threads=1)
        encoded = texsynth.encode_image(texture, "png")
        write_whole(os.path.join(folder, job["output"]), encoded)
        written += len(encoded)
    return time.perf_counter() - start, written / count


def cpu_seconds(scheduler):
    """The CPU time so far of this process (the client) and of the scheduler's (with its workers' nannies)."""
    return time.process_time(), sum(scheduler.cpu_times()[:2])


def idle_cpu(scheduler, seconds=3):
    """The CPU the client and the scheduler take a second doing nothing (Dask's heartbeats and the like)."""
    before = cpu_seconds(scheduler)
    time.sleep(seconds)
    return [(after - then) / seconds for after, then in zip(cpu_seconds(scheduler), before)]


def on_cluster(client, scheduler, idle, exemplar, size, count, folder):
    """A batch of the jobs on the client's cluster: seconds, and the seconds of CPU the client and the
    scheduler spent on each job beyond what they spend idle."""
    before = cpu_seconds(scheduler)
    start = time.perf_counter()
    report = run(jobs_of(exemplar, size, count), client, folder=folder, progress=False)
    seconds = time.perf_counter() - start
    assert report["done"] == count, report
    # Beyond the idle rate, which a busy machine makes uncertain: never below none.
    return seconds, *[max(0.0, after - then - rate * seconds) / count
                      for after, then, rate in zip(cpu_seconds(scheduler), before, idle)]


def trivial_tasks_a_second(client, count=3000):
    """How many tasks that do nothing the cluster gets through a second: what Dask itself costs a task."""
    start = time.perf_counter()
    client.gather(client.map(abs, range(count), pure=False))
    return count / (time.perf_counter() - start)


def best(measure, *arguments):
    results = []
    for _ in range(REPEATS):
        with tempfile.TemporaryDirectory() as folder:
            results.append(measure(*arguments, folder))
    return min(results)


def main():
    exemplar = os.path.abspath(sys.argv[1])
    load_before = os.getloadavg()[0]
    rows = {}
    start = time.perf_counter()
    for size, count in JOBS.items():
        seconds, output_bytes = best(in_one_process, exemplar, size, count)
        rows[size] = {"count": count, "alone": count / seconds, "bytes": output_bytes}
    startup = {}
    for workers in (1, 2):
        began = time.perf_counter()
        with local_client(workers, StopRequest()) as client:  # the cluster `python3 -m texsynth.batch` starts
            startup[workers] = time.perf_counter() - began
            scheduler = psutil.Process(client.run_on_scheduler(os.getpid))
            dask_rate = trivial_tasks_a_second(client)
            for size, count in JOBS.items():
                idle = idle_cpu(scheduler)
                seconds, client_cpu, scheduler_cpu = best(on_cluster, client, scheduler, idle, exemplar, size, count)
                rows[size][workers] = count / seconds
                rows[size][f"client{workers}"] = client_cpu
                rows[size][f"scheduler{workers}"] = scheduler_cpu
    load_after = os.getloadavg()[0]
    name = os.path.relpath(exemplar)
    picture = texsynth.read_image(exemplar)

    print("### Batches on a Dask cluster\n")
    print(f"`bench/batch-throughput.py` (`make bench-batches`): textures of `{name}` ({picture.shape[1]} × "
          f"{picture.shape[0]}) with the defaults, each job on one thread, run as a batch (`texsynth.batch.run`) on "
          "the local cluster `python3 -m texsynth.batch` starts, of one and of two worker processes, against the "
          "same jobs done one after the other in one process (reading the exemplar, synthesizing, encoding and "
          "writing the PNG whole: a batch job's work without Dask). The client reads and writes every file. The "
          f"cluster is started before the clock; the fastest of {REPEATS} runs is kept. Load average "
          f"{load_before:.1f} before, {load_after:.1f} after ({time.perf_counter() - start:.0f} s), on "
          f"{os.cpu_count()} cores.\n")
    print("| textures | jobs | one process | 1 worker | 2 workers | 2 workers / 1 | 1 worker against one process "
          "| client CPU per job | scheduler CPU per job | output per job |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for size, row in rows.items():
        print(f"| {size} × {size} | {row['count']} | {row['alone']:.2f} jobs/s | {row[1]:.2f} jobs/s | "
              f"{row[2]:.2f} jobs/s | {row[2] / row[1]:.2f} × | {(row['alone'] / row[1] - 1) * 100:+.1f} % | "
              f"{row['client2'] * 1000:.1f} ms | {row['scheduler2'] * 1000:.1f} ms | {row['bytes'] / 1024:.0f} KiB |")
    print(f"\nThe CPU of the client and the scheduler is what they spent beyond their own idle ticking "
          f"({idle[0] * 100:.0f} % and {idle[1] * 100:.0f} % of a core). Starting the cluster took {startup[1]:.1f} s "
          f"with one worker and {startup[2]:.1f} s with two, once a batch. Dask got through {dask_rate:.0f} tasks a "
          "second that do nothing on the two workers.\n")

    small, large = rows[256], rows[1024]
    per_core = {size: row[2] / 2 for size, row in rows.items()}
    client_limit = 1 / small["client2"]
    scheduler_limit = 1 / small["scheduler2"]
    network = 110e6  # bytes a second through a 1 Gbit/s link
    print("#### What a cluster would give\n")
    print(f"A core makes about {per_core[256]:.1f} textures of 256 × 256 a second and {per_core[1024]:.2f} of "
          f"1024 × 1024 (the two-worker figures per worker). Jobs do not wait on one another, so N machines of C "
          f"cores give about N × C times that: 10 machines of 16 cores, {per_core[256] * 160:.0f} and "
          f"{per_core[1024] * 160:.0f} a second, until one of three things that every job passes through is "
          "full:\n")
    print(f"- The client, one process: its CPU per job (reading the exemplar, handing the job over, taking the "
          f"result back, writing and recording it) was {small['client2'] * 1000:.1f} ms, so it keeps up with "
          f"about {client_limit:.0f} jobs a second: {client_limit / per_core[256]:.0f} cores' worth of 256 × 256 "
          f"jobs, {client_limit / per_core[1024]:.0f} of 1024 × 1024 ones.")
    print(f"- The client's network: every output comes back through it, {small['bytes'] / 1024:.0f} KiB and "
          f"{large['bytes'] / 2 ** 20:.1f} MiB a job, so a 1 Gbit/s link carries about "
          f"{network / small['bytes']:.0f} and {network / large['bytes']:.0f} jobs a second "
          f"({network / small['bytes'] / per_core[256]:.0f} and {network / large['bytes'] / per_core[1024]:.0f} "
          "cores' worth). `--shared-storage` takes the files off it: the workers read and write them themselves.")
    print(f"- Dask's scheduler: {small['scheduler2'] * 1000:.1f} ms of its CPU a job here, about "
          f"{scheduler_limit:.0f} jobs a second ({scheduler_limit / per_core[256]:.0f} cores' worth of 256 × 256 "
          "jobs).\n")
    first = {}
    for size in rows:
        limits = {"the client's CPU": client_limit, "the scheduler": scheduler_limit,
                  "the client's network": network / rows[size]["bytes"]}
        limit = min(limits, key=limits.get)
        first[size] = f"{limits[limit] / per_core[size]:.0f} cores busy with {size} × {size} textures ({limit} first)"
    print(f"So one batch keeps about {first[256]} and {first[1024]}; a larger cluster takes several batches at "
          "once, each with a client of its own.")


if __name__ == "__main__":
    main()
