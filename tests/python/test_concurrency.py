"""Calls let go of the GIL while they work, and Ctrl-C stops a long one on the main thread."""
import os
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

from conftest import SOURCE_DIR, texsynth

# About 0.4 s each on this machine, on one thread: long enough to watch, short enough to repeat.
WORK = {"size": (120, 120), "match": "exact", "passes": 1, "threads": 1}


def synthesize(demo, seed):
    return texsynth.synthesize(demo, WORK["size"], seed=seed, match=WORK["match"], passes=WORK["passes"],
                               threads=WORK["threads"])


def test_python_runs_on_other_threads_while_a_call_works(demo):
    started = threading.Event()
    span = {}

    def work():
        started.set()
        span["start"] = time.perf_counter()
        synthesize(demo, 1)
        span["end"] = time.perf_counter()

    worker = threading.Thread(target=work)
    worker.start()
    started.wait()
    beats = []
    while worker.is_alive():
        beats.append(time.perf_counter())
        time.sleep(0.005)
    worker.join()
    # Holding the GIL, the call would have let this thread run only before it began and after it ended.
    inside = [t for t in beats if span["start"] + 0.05 < t < span["end"] - 0.05]
    assert len(inside) >= 5, (span, len(beats))


def test_two_calls_on_two_threads_run_at_once_and_give_what_they_give_alone(demo):
    alone = [synthesize(demo, seed) for seed in (1, 2)]
    results, inside, barrier = {}, set(), threading.Barrier(3)

    def work(seed):
        barrier.wait()
        inside.add(seed)
        results[seed] = synthesize(demo, seed)
        inside.discard(seed)

    workers = [threading.Thread(target=work, args=(seed,)) for seed in (1, 2)]
    for worker in workers:
        worker.start()
    barrier.wait()
    both_inside = 0
    while any(worker.is_alive() for worker in workers):
        both_inside += len(inside) == 2
        time.sleep(0.005)
    for worker in workers:
        worker.join()
    # This thread saw both calls under way again and again: neither held the GIL while it worked.
    assert both_inside >= 5
    assert np.array_equal(results[1], alone[0]) and np.array_equal(results[2], alone[1])


# A child process starts a long call and sends itself SIGINT (Ctrl-C) 0.3 s later.
INTERRUPTED = textwrap.dedent("""
    import os, signal, sys, threading, time
    import texsynth
    exemplar = texsynth.read_image(sys.argv[1])
    sent = []
    def interrupt():
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)
    threading.Timer(0.3, interrupt).start()
    try:
        texsynth.synthesize(exemplar, (1024, 1024), match=sys.argv[2], passes=2, threads=2)
        print("finished")
    except KeyboardInterrupt:
        print("interrupted after", time.perf_counter() - sent[0])
    # The module works on after an interrupted call.
    print(texsynth.synthesize(exemplar, (8, 8)).shape)
""")


@pytest.mark.parametrize("match", ["exact", "approximate"])
def test_ctrl_c_stops_a_long_call_at_once(demo, match):
    environment = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(texsynth.__file__)))
    child = subprocess.run([sys.executable, "-c", INTERRUPTED, str(SOURCE_DIR / "demo" / "demo2.bmp"), match],
                           capture_output=True, text=True, timeout=120, env=environment)
    assert child.returncode == 0, child.stderr
    first, second = child.stdout.splitlines()
    assert first.startswith("interrupted after ")
    latency = float(first.split()[-1])
    print(f"{match}: stopped {latency:.3f} s after SIGINT")
    # About a tenth of a second on an idle machine; the bound leaves room for a busy one, and the whole call
    # would take over ten seconds.
    assert latency < 2.0
    assert second == "(8, 8, 3)"
