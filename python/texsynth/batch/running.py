"""A batch on a Dask cluster. The client reads each job's files, hands the jobs to Dask's scheduler a window
at a time (small textures a few to a task; the scheduler places them, moves a dead worker's tasks elsewhere
and retries them), writes what comes back whole or not at all, and records it so that a rerun skips it."""
import collections
import concurrent.futures
import contextlib
import json
import os
import signal
import subprocess
import sys
import threading
import time
import uuid

import texsynth
from texsynth.batch import job_lines, work
from texsynth.batch.progress import Progress
from texsynth.batch.records import Records

# Files up to this size travel with each job that reads them; larger ones are scattered to the workers once
# and shared by every job that reads them (Dask keeps large objects out of its task messages).
LARGEST_CARRIED_FILE = 512 * 1024
# Jobs handed to the scheduler ahead of the workers, per worker thread: enough that none waits for the next
# job while the client writes the last one's result, few enough that files are not all read at once. They are
# handed over when half of them are done, together: each handing over costs the client about as much as
# taking back a job.
JOBS_AHEAD_PER_THREAD = 4
FEWEST_JOBS_AHEAD = 8
# Small textures go to the cluster a few to a task, at most GROUPED_JOBS and GROUPED_PIXELS output pixels in
# all (four of 256 x 256): the scheduler, the client and the worker each spend a few milliseconds on a task
# whatever it holds, which is a tenth of such a texture's time. A texture joins a task if it has at most half as
# many pixels.
GROUPED_JOBS = 4
GROUPED_PIXELS = 4 * 256 * 256
# How often the client looks for finished jobs and redraws the progress bar when none has finished, seconds.
POLL_INTERVAL = 0.02
# Threads of the client that write outputs: each file is synced before it is renamed into place, and syncs
# wait on the disk, which takes several at once about as fast as one.
WRITERS = 4


class BatchStopped(KeyboardInterrupt):
    """Raised by run() when Ctrl-C (SIGINT) or SIGTERM stopped the batch: what was finished is written and
    recorded, nothing half written is left, and a rerun does the rest. `signal` is the signal's number and
    `report` the report (with the jobs not done as "left")."""

    def __init__(self, number, report):
        super().__init__(f"stopped by {signal.Signals(number).name}")
        self.signal = number
        self.report = report


def run(jobs, client=None, *, workers=None, folder=None, shared_storage=False, report=None, progress=None):
    """Runs a batch of jobs on a Dask cluster and returns its report.

    jobs: the path of a batch file (JSON Lines, one job a line, its paths relative to its folder), or the jobs
        themselves as dicts of the same words (their paths relative to `folder`, by default the current one).
    client: a distributed.Client of the cluster to run on; None: a local cluster of `workers` worker processes
        (default: one per core) is started for the batch and closed after it.
    shared_storage: the workers read the inputs and write the outputs themselves, where every one of them
        sees the same files; by default the client reads and writes every file and sends the bytes.
    report: a file to write the report to, as JSON.
    progress: show a progress bar on standard error (None: when it is a terminal). Failed jobs are reported on
        standard error either way, one line each.

    Returns {"done": n, "skipped": n, "failed": n, "left": n, "seconds": s, "jobs": [...]}, a dict a job with
    its line, output, outcome ("done", "skipped", "failed" with its "reason", or "left" when stopped) and the
    seconds a worker took. Jobs already done as recorded beside their outputs are skipped. Ctrl-C (SIGINT) or
    SIGTERM on the main thread stops the batch cleanly and raises BatchStopped.
    """
    started = time.monotonic()
    batch_name = os.fsdecode(jobs) if isinstance(jobs, (str, bytes, os.PathLike)) else None
    if batch_name is not None:
        parsed = job_lines.read_batch_file(batch_name)
    else:
        base = os.path.abspath(folder if folder is not None else os.getcwd())
        parsed = [job_lines.job_from_words(number, words, base) if isinstance(words, dict)
                  else job_lines.Job(number, refusal=f"expected a dict of words, got {words!r}")
                  for number, words in enumerate(jobs, 1)]
    job_lines.link_jobs(parsed)
    batch = Batch(parsed, batch_name, shared_storage,
                  Progress(sys.stderr, sys.stderr.isatty() if progress is None else progress, len(parsed)))
    stop = StopRequest()
    try:
        with stop.catching():
            batch.run(client, workers, stop)
    finally:
        batch.records.close()
        batch.progress.finish()
        summary = batch.report(time.monotonic() - started)
        if report is not None:
            write_report(report, summary)
    if stop.signal is not None:
        raise BatchStopped(stop.signal, summary)
    return summary


class StopRequest:
    """Ctrl-C (SIGINT) and SIGTERM, caught while a batch runs on the main thread: the first asks the batch to
    stop after the results at hand are written; a second one has its usual effect at once."""

    def __init__(self):
        self.signal = None
        self.previous = {}
        self.interrupting = False

    def __call__(self, number, frame):
        self.signal = number
        signal.signal(number, self.previous[number])
        if self.interrupting:
            raise KeyboardInterrupt

    @contextlib.contextmanager
    def raising(self):
        """While nothing is under way that a stop should let finish, a stop raises KeyboardInterrupt."""
        self.interrupting = True
        try:
            if self.signal is not None:
                raise KeyboardInterrupt
            yield
        finally:
            self.interrupting = False

    @contextlib.contextmanager
    def catching(self):
        if threading.current_thread() is threading.main_thread():
            for number in (signal.SIGINT, signal.SIGTERM):
                self.previous[number] = signal.signal(number, self)
        try:
            yield
        finally:
            for number, handler in self.previous.items():
                signal.signal(number, handler)


class Batch:
    """The jobs of a run and what became of each."""

    def __init__(self, jobs, name, shared_storage, progress):
        self.jobs = jobs
        self.name = name
        self.shared_storage = shared_storage
        self.progress = progress
        self.records = Records()
        self.outcomes = {job.line: {"line": job.line, "output": job.output, "outcome": "left", "seconds": 0.0}
                         for job in jobs}
        self.waiting = set()  # the lines of the jobs to run that wait for earlier jobs
        self.ready = collections.deque()  # jobs to hand to the cluster, in order
        self.readers = collections.defaultdict(list)  # line: the jobs that read what it writes
        for job in jobs:
            for line in job.after:
                self.readers[line].append(job)
        self.pending = {}    # a task's future: [(job, its inputs as read, the scattered files it uses), ...]
        self.writing = {}    # a writer's future: (job, its inputs as read, the seconds its worker took)
        self.scattered = {}  # resolved path: [future of its bytes on the cluster, jobs pending that use it]

    def run(self, client, workers, stop):
        to_run = []
        for job in self.jobs:
            if job.refusal is not None:
                self.fail(job, job.refusal)
            elif not job.after & self.waiting and self.records.is_done(job):
                self.settle(job, "skipped")  # (a job that reads what a job to run writes is to run too)
            else:
                to_run.append(job)
                self.waiting.add(job.line)
        for job in to_run:
            self.release_after(job)
        if not self.ready or stop.signal is not None:
            return
        if client is not None:
            self.run_on(client, stop)
            return
        try:
            with local_client(workers, stop) as client:
                self.run_on(client, stop)
        except KeyboardInterrupt:
            if stop.signal is None:
                raise

    def release_after(self, job):
        """Queues a job waiting for its earlier jobs (those whose files it reads) once they are all done, or
        fails it if one failed."""
        if job.line not in self.waiting:
            return
        outcomes = {line: self.outcomes[line]["outcome"] for line in job.after}
        failed = next((line for line, outcome in outcomes.items() if outcome == "failed"), None)
        if failed is not None:
            self.waiting.discard(job.line)
            self.fail(job, f"not done: it reads what line {failed} writes, which failed")
        elif all(outcome in ("done", "skipped") for outcome in outcomes.values()):
            self.waiting.discard(job.line)
            self.ready.append(job)

    def run_on(self, client, stop):
        ahead, counted_at = jobs_ahead(client), time.monotonic()
        self.progress.start_clock()
        with concurrent.futures.ThreadPoolExecutor(WRITERS, thread_name_prefix="texsynth-batch-writer") as writers:
            while stop.signal is None and (self.pending or self.ready or self.writing):
                if len(self.pending) <= ahead // 2:
                    self.submit(client, ahead - len(self.pending))
                arrived = self.collect(client, writers)
                written = self.record_written(block=False)
                if not arrived and not written:
                    time.sleep(POLL_INTERVAL)
                    self.progress.draw()
                if time.monotonic() - counted_at > 2:  # the cluster may grow or shrink
                    ahead, counted_at = jobs_ahead(client), time.monotonic()
            # Stopped: what has arrived is written; the rest is called off and left for a rerun.
            self.collect(client, writers)
            if self.pending:
                client.cancel(list(self.pending))
                self.pending.clear()
            self.record_written(block=True)

    def submit(self, client, room):
        """Hands up to `room` tasks of ready jobs to the cluster at once: a job each, or a few small textures."""
        tasks = []  # each: {"calls": [...], "contents": [...], "jobs": [(job, inputs, used), ...], "pixels": n}
        while self.ready:
            job = self.ready[0]
            pixels = grouped_pixels(job)
            last = tasks[-1] if tasks else None
            joins = (last is not None and pixels > 0 and last["pixels"] > 0 and len(last["jobs"]) < GROUPED_JOBS
                     and last["pixels"] + pixels <= GROUPED_PIXELS)
            if not joins and len(tasks) == room:
                break
            self.ready.popleft()
            inputs = self.records.inputs_now(job)
            used = []
            if self.shared_storage:
                job.call.output, job.call.map_output = job.resolved_output, job.resolved_map
                files = None
            else:
                try:
                    files = {file.resolved: self.content(client, file, used) for file in job.call.files()}
                except work.JobFailed as failure:
                    self.release(used)
                    self.fail(job, str(failure))
                    continue
            if joins:
                last["pixels"] += pixels
            else:
                last = {"calls": [], "contents": [], "jobs": [], "pixels": pixels}
                tasks.append(last)
            last["calls"].append(job.call)
            last["contents"].append(files)
            last["jobs"].append((job, inputs, used))
        if tasks:
            keys = [f"texsynth-line-{task['jobs'][0][0].line}-{uuid.uuid4().hex}" for task in tasks]
            futures = client.map(work.run_calls, [task["calls"] for task in tasks],
                                 [task["contents"] for task in tasks], key=keys, pure=False)
            self.pending.update(zip(futures, [task["jobs"] for task in tasks]))

    def content(self, client, file, used):
        """A file's bytes for a job, or the future of them where they are scattered."""
        if file.resolved in self.scattered:
            entry = self.scattered[file.resolved]
        else:
            content = work.read_file(file.resolved, file.path)
            if len(content) <= LARGEST_CARRIED_FILE:
                return content
            entry = self.scattered[file.resolved] = [client.scatter(content, hash=True), 0]
        entry[1] += 1
        used.append(file.resolved)
        return entry[0]

    def release(self, used):
        for path in used:
            entry = self.scattered[path]
            entry[1] -= 1
            if entry[1] == 0:
                del self.scattered[path]

    def collect(self, client, writers):
        """The jobs back from the cluster: failed, or their files to write (here, unless their workers wrote
        them). Their results come over together. Returns how many came back."""
        arrived = [future for future in self.pending if future.done()]
        done = [future for future in arrived if future.status == "finished"]
        results = dict(zip(done, client.gather(done))) if done else {}
        for future in arrived:
            jobs = self.pending.pop(future)
            if future.status == "error":
                task_results = [{"failed": failure_of(future.exception()), "seconds": 0.0}] * len(jobs)
            else:
                called_off = {"failed": "called off by the cluster", "seconds": 0.0}
                task_results = results.get(future) or [called_off] * len(jobs)
            for (job, inputs, used), result in zip(jobs, task_results):
                self.release(used)
                if "failed" in result:
                    self.fail(job, result["failed"], result["seconds"])
                elif self.shared_storage:
                    self.record(job, inputs, result["seconds"])
                else:
                    self.writing[writers.submit(write_results, job, result)] = (job, inputs, result["seconds"])
        return len(arrived)

    def record_written(self, block):
        """Records the jobs whose files are written (waiting for them all with `block`); returns how many."""
        if block:
            concurrent.futures.wait(self.writing)
        written = [writing for writing in self.writing if writing.done()]
        for writing in written:
            job, inputs, seconds = self.writing.pop(writing)
            try:
                writing.result()
            except work.JobFailed as failure:
                self.fail(job, str(failure), seconds)
                continue
            self.record(job, inputs, seconds)
        return len(written)

    def record(self, job, inputs, seconds):
        try:
            self.records.add(job, inputs)
        except work.JobFailed as failure:
            self.fail(job, str(failure), seconds)
            return
        self.settle(job, "done", seconds)

    def fail(self, job, reason, seconds=0.0):
        where = f"{self.name}:{job.line}" if self.name is not None else f"job {job.line}"
        self.progress.message(f"texsynth.batch: {where}: {reason}")
        self.settle(job, "failed", seconds, reason=reason)

    def settle(self, job, outcome, seconds=0.0, **more):
        self.outcomes[job.line].update(outcome=outcome, seconds=round(seconds, 4), **more)
        self.progress.count(outcome)
        for reader in self.readers.get(job.line, []):
            self.release_after(reader)

    def report(self, seconds):
        jobs = list(self.outcomes.values())
        summary = {outcome: sum(job["outcome"] == outcome for job in jobs)
                   for outcome in ("done", "skipped", "failed", "left")}
        return {"batch": self.name, "texsynth": texsynth.__version__, **summary, "seconds": round(seconds, 3),
                "jobs": jobs}


def write_results(job, result):
    """Writes a job's output and map whole, as they came back from its worker (on a writer thread)."""
    work.write_file(job.resolved_output, result["image"])
    if job.resolved_map:
        work.write_file(job.resolved_map, result["map"])


def grouped_pixels(job):
    """The output pixels of a texture small enough to share a task with others, or 0."""
    size = job.call.arguments.get("size") if job.call.function == "synthesize" else None
    if not isinstance(size, list) or len(size) != 2 or not all(isinstance(side, int) for side in size):
        return 0
    pixels = size[0] * size[1]
    return pixels if 0 < pixels <= GROUPED_PIXELS // 2 else 0


def failure_of(exception):
    """The reason of a job whose task raised (a fault of texsynth's, or of the cluster)."""
    from distributed.scheduler import KilledWorker
    if isinstance(exception, KilledWorker):
        return "every worker that ran it died (out of memory, or killed); the cluster gave up on it"
    return f"{type(exception).__name__}: {exception}".replace("\n", " ")


def jobs_ahead(client):
    threads = sum(client.nthreads().values())
    return max(FEWEST_JOBS_AHEAD, JOBS_AHEAD_PER_THREAD * threads)


@contextlib.contextmanager
def local_client(workers, stop):
    """A client of a cluster on this machine of `workers` processes (default: one per core) of one thread
    each (see local_cluster.py), closed on the way out. A stop while it starts stops it at once."""
    cluster = subprocess.Popen([sys.executable, "-m", "texsynth.batch.local_cluster", str(workers or os.cpu_count())],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, start_new_session=True)
    client = None
    started = False
    try:
        with stop.raising():
            from distributed import Client  # (while the cluster starts)
            address = cluster.stdout.readline().decode().strip()
            if not address:
                raise OSError("the local cluster did not start")
            client = Client(address, set_as_default=False)
        started = True
        yield client
    finally:
        if client is not None:
            client.close()
        cluster.stdin.close()
        if not started:
            os.killpg(cluster.pid, signal.SIGTERM)
        try:
            cluster.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(cluster.pid, signal.SIGKILL)
            cluster.wait()


def write_report(path, summary):
    """Writes the report as JSON, a job a line, whole or not at all; raises OSError with "<path>: <why>"."""
    head = json.dumps({key: value for key, value in summary.items() if key != "jobs"})[:-1]
    jobs = ",\n  ".join(json.dumps(job) for job in summary["jobs"])
    work.write_whole(path, f'{head}, "jobs": [\n  {jobs}\n]}}\n'.encode())
