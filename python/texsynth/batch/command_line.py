"""python3 -m texsynth.batch: runs a batch file on a Dask cluster, or makes the common one.

Exit status: 0 every job done (or skipped as done before), 1 some failed (or the cluster or the report could
not be reached), 2 a bad command line or a batch file that cannot be read. Ctrl-C (or SIGTERM) stops the batch
cleanly, then the program ends by that signal, as texsynth does.
"""
import argparse
import json
import logging
import os
import signal
import sys

import texsynth

USAGE_HINT = "usage: python3 -m texsynth.batch [options] JOBS.jsonl; --help tells more"

DESCRIPTION = """\
Runs a batch of texsynth jobs, one a line of JOBS.jsonl, on a Dask cluster: by default a local one of a
worker process per core; --scheduler runs it on an existing cluster (whose workers have texsynth installed).
Every output is the bytes `texsynth [options] -o OUTPUT INPUT` writes, written whole or not at all. A rerun
skips the jobs already done as recorded beside their outputs and does the rest. help(texsynth.batch) lists
the words of a job line.

With --make-from=FOLDER it runs nothing: it writes JOBS.jsonl, a texture of every exemplar in FOLDER for
every seed and size."""


class Refusal(Exception):
    """A bad command line; the message says what and why."""


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise Refusal(message)


def whole_number(text):
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f"expected a whole number of at least 1, got {text!r}")
    return int(text)


def seed_list(text):
    """Seeds separated by commas, with ranges: "1-8,20"."""
    seeds = []
    for part in text.split(","):
        first, _, last = part.partition("-")
        if not first.isdigit() or (last and not last.isdigit()) or int(last or first) < int(first) \
                or int(last or first) > 0xFFFFFFFF:
            raise argparse.ArgumentTypeError(f"expected seeds from 0 to 4294967295 separated by commas, with "
                                             f"ranges such as 1-8; got {text!r}")
        seeds += range(int(first), int(last or first) + 1)
    return seeds


def size_list(text):
    sizes = text.split(",")
    for size in sizes:
        width, x, height = size.partition("x")
        if not (x and width.isdigit() and height.isdigit() and int(width) >= 1 and int(height) >= 1):
            raise argparse.ArgumentTypeError(f"expected sizes WxH separated by commas, e.g. 512x512,1024x1024; "
                                             f"got {text!r}")
    return sizes


def parser():
    parser = Parser(prog="python3 -m texsynth.batch", description=DESCRIPTION, allow_abbrev=False,
                    formatter_class=argparse.RawDescriptionHelpFormatter,
                    epilog="Exit status: 0 every job done (now or before), 1 some failed, 2 a bad command line or a\n"
                           "batch file that cannot be read. Ctrl-C stops the batch cleanly; a rerun finishes it.")
    parser.add_argument("jobs", metavar="JOBS.jsonl", help="the batch file: one job a line")
    parser.add_argument("--workers", type=whole_number, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="run on the cluster of this scheduler (tcp://HOST:8786) instead of a local one")
    parser.add_argument("--shared-storage", action="store_true",
                        help="the workers read the inputs and write the outputs themselves (a file system they "
                             "all share); by default the client reads and writes every file")
    parser.add_argument("--report", metavar="FILE",
                        help="write a JSON report: every job's output, outcome (done, skipped, failed with its "
                             "reason, or left when stopped) and the seconds it took")
    parser.add_argument("--quiet", action="store_true",
                        help="no progress bar (it is shown only when standard error is a terminal)")
    parser.add_argument("--version", action="version", version=f"texsynth.batch {texsynth.__version__}")
    making = parser.add_argument_group("making a batch file")
    making.add_argument("--make-from", metavar="FOLDER",
                        help="write JOBS.jsonl: a texture of every exemplar (.png, .jpg, .jpeg, .bmp) in FOLDER")
    making.add_argument("--seeds", type=seed_list, default=[1], metavar="LIST",
                        help="the seeds of every exemplar, e.g. 1-8,20 (default 1)")
    making.add_argument("--sizes", type=size_list, default=["512x512"], metavar="LIST",
                        help="the sizes of every exemplar, e.g. 512x512,1024x1024 (default 512x512)")
    making.add_argument("--outputs", default="out/{name}-{size}-{seed}.png", metavar="PATTERN",
                        help="the output files, relative to the batch file's folder, from the exemplar's name "
                             "(without extension), size and seed (default out/{name}-{size}-{seed}.png)")
    return parser


def parse(argv):
    options = parser().parse_args(argv)
    running_only = {"--workers": options.workers, "--scheduler": options.scheduler,
                    "--shared-storage": options.shared_storage, "--report": options.report}
    if options.make_from is not None:
        for name, value in running_only.items():
            if value:
                raise Refusal(f"{name}: only when running a batch, not with --make-from")
    elif options.workers and options.scheduler:
        raise Refusal("--workers: not with --scheduler (the cluster has its own workers)")
    return options


def make_batch(options):
    """--make-from: writes the batch file; 0, or 2 when the folder or the file cannot be used."""
    from texsynth.batch.job_lines import EXEMPLAR_EXTENSIONS, textures
    folder = os.path.dirname(os.path.abspath(options.jobs))
    try:
        jobs = textures(options.make_from, options.seeds, options.sizes, options.outputs, relative_to=folder)
    except OSError as error:
        return refuse(f"{options.make_from}: cannot read: {error.strerror}")
    except (KeyError, IndexError, ValueError) as error:
        return refuse(f"--outputs: {options.outputs!r} has an unknown part {error} (it takes {{name}}, {{size}} "
                      "and {seed})")
    if not jobs:
        return refuse(f"{options.make_from}: holds no {', '.join(EXEMPLAR_EXTENSIONS)} files")
    from texsynth.batch.work import write_whole
    try:
        write_whole(options.jobs, "".join(json.dumps(job) + "\n" for job in jobs).encode())
    except OSError as error:
        return refuse(str(error))
    return 0


def refuse(message):
    print(f"texsynth.batch: {message}", file=sys.stderr)
    return 2


def main(argv=None):
    """The command line; returns its exit status (or ends the process by the signal that stopped it)."""
    try:
        options = parse(argv)
    except Refusal as refusal:
        print(f"texsynth.batch: {refusal}\n{USAGE_HINT}", file=sys.stderr)
        return 2
    if options.make_from is not None:
        return make_batch(options)
    from texsynth.batch.job_lines import UnreadableBatch
    from texsynth.batch.running import BatchStopped, run
    # Dask logs what it does about lost workers and called-off jobs; the batch reports what becomes of them.
    logging.getLogger("distributed").setLevel(logging.CRITICAL)
    client = None
    try:
        client = connect(options.scheduler) if options.scheduler else None
        report = run(options.jobs, client, workers=options.workers, shared_storage=options.shared_storage,
                     report=options.report, progress=False if options.quiet else None)
    except UnreadableBatch as error:
        return refuse(f"{options.jobs}: {error}")
    except BatchStopped as stopped:
        print(f"texsynth.batch: stopped: {stopped.report['done']} done, {stopped.report['left']} left; run it "
              "again to finish", file=sys.stderr)
        sys.stderr.flush()
        signal.signal(stopped.signal, signal.SIG_DFL)
        os.kill(os.getpid(), stopped.signal)
        return 128 + stopped.signal
    except OSError as error:
        print(f"texsynth.batch: {error}", file=sys.stderr)
        return 1
    finally:
        if client is not None:
            client.close()
    return 0 if report["failed"] == 0 and report["left"] == 0 else 1


def connect(address):
    from distributed import Client
    try:
        return Client(address, timeout=30, set_as_default=False)
    except (OSError, TimeoutError) as error:
        raise OSError(f"{address}: cannot reach the scheduler: {error}") from None
