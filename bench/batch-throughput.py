"""Batch throughput: texsynth.batch on a local Dask cluster of one and of two worker processes, against the
same jobs done one after the other in one process, for 256 x 256 and 1024 x 1024 textures; then what a
cluster of N machines would give, from these figures. Writes a section of BENCHMARKS.md on standard output.

Usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/batch-throughput.py EXEMPLAR > batches.md
"""
import logging
import os
import sys
import tempfile
import time

from distributed import Client, LocalCluster

import texsynth
from texsynth.batch import run
from texsynth.batch.work import write_whole

# Jobs per size: enough that the per-job figures settle (about 10 s of work on one core each).
JOBS = {256: 64, 1024: 6}
# Each measurement is taken this many times and the fastest kept: other work on the machine only slows it.
REPEATS = 2


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


def on_cluster(client, exemplar, size, count, folder):
    """A batch of the jobs on the client's cluster: seconds, and the seconds of CPU the client process
    (which also runs the local cluster's scheduler) spent on it."""
    cpu = time.process_time()
    start = time.perf_counter()
    report = run(jobs_of(exemplar, size, count), client, folder=folder, progress=False)
    seconds = time.perf_counter() - start
    assert report["done"] == count, report
    return seconds, time.process_time() - cpu


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


def cluster_of(workers):
    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0",
                        silence_logs=logging.ERROR)


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
        with cluster_of(workers) as cluster, Client(cluster) as client:
            startup[workers] = time.perf_counter() - began
            dask_rate = trivial_tasks_a_second(client)
            for size, count in JOBS.items():
                seconds, cpu = best(on_cluster, client, exemplar, size, count)
                rows[size][workers] = count / seconds
                rows[size][f"cpu{workers}"] = cpu / count
    load_after = os.getloadavg()[0]
    name = os.path.relpath(exemplar)
    picture = texsynth.read_image(exemplar)

    print("## Batches on a Dask cluster\n")
    print(f"`bench/batch-throughput.py`: textures of `{name}` ({picture.shape[1]} × {picture.shape[0]}) with the "
          "defaults, each job on one thread, run as a batch (`texsynth.batch.run`) on a local Dask cluster of one and "
          "of two worker processes, against the same jobs done one after the other in one process (reading the "
          "exemplar, synthesizing, encoding and writing the PNG whole: a batch job's work without Dask). The "
          "client reads and writes every file. The cluster is started before the clock; the fastest of "
          f"{REPEATS} runs is kept. Load average {load_before:.1f} before, {load_after:.1f} after "
          f"({time.perf_counter() - start:.0f} s), on {os.cpu_count()} cores.\n")
    print("| textures | jobs | one process | 1 worker | 2 workers | 2 workers / 1 | 1 worker against one process "
          "| client CPU per job | output per job |")
    print("|---|---|---|---|---|---|---|---|---|")
    for size, row in rows.items():
        print(f"| {size} × {size} | {row['count']} | {row['alone']:.2f} jobs/s | {row[1]:.2f} jobs/s | "
              f"{row[2]:.2f} jobs/s | {row[2] / row[1]:.2f} × | {(row['alone'] / row[1] - 1) * 100:+.1f} % | "
              f"{row['cpu2'] * 1000:.1f} ms | {row['bytes'] / 1024:.0f} KiB |")
    print(f"\nStarting the cluster took {startup[1]:.1f} s with one worker and {startup[2]:.1f} s with two, once "
          "a batch (`python3 -m texsynth.batch` starts its cluster in a process of its own, about as long).\n")

    small, large = rows[256], rows[1024]
    client_limit = 1 / small["cpu2"]
    per_core = {size: row[2] / 2 for size, row in rows.items()}
    network = 110e6  # bytes a second through a 1 Gbit/s link
    print("### What a cluster would give\n")
    print(f"A core makes about {per_core[256]:.1f} textures of 256 × 256 a second and {per_core[1024]:.2f} of "
          f"1024 × 1024 (the two-worker figures per worker). Jobs do not wait on one another, so N machines of C "
          f"cores give about N × C times that: 10 machines of 16 cores, {per_core[256] * 160:.0f} and "
          f"{per_core[1024] * 160:.0f} a second.\n")
    print(f"The client is one process. Its CPU per job (reading the exemplar, handing the job over, taking the "
          f"result back, writing and recording it; here with the local scheduler's share besides) was "
          f"{small['cpu2'] * 1000:.1f} ms: it keeps up with about {client_limit:.0f} jobs a second, which "
          f"{client_limit / per_core[256]:.0f} cores of 256 × 256 jobs reach, and "
          f"{client_limit / per_core[1024]:.0f} cores of 1024 × 1024 jobs. Its network is the other limit: every "
          f"output comes back through it, {small['bytes'] / 1024:.0f} KiB and {large['bytes'] / 2 ** 20:.1f} MiB "
          f"a job, so a 1 Gbit/s link carries about {network / small['bytes']:.0f} and "
          f"{network / large['bytes']:.0f} jobs a second ({network / small['bytes'] / per_core[256]:.0f} and "
          f"{network / large['bytes'] / per_core[1024]:.0f} cores' worth). Past those, `--shared-storage` lets the "
          "workers read and write the files themselves, and the client only hands out jobs and records them. "
          f"Dask itself got through {dask_rate:.0f} tasks a second that do nothing, here, its client and scheduler "
          "sharing one process: far more than a cluster of that size would ask for jobs of these sizes.")


if __name__ == "__main__":
    main()
