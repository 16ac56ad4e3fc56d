"""Batches (texsynth.batch) on a real local cluster of two worker processes: every good job done with the
command line's bytes despite a bad job and a killed worker, reruns that redo only what is missing or changed,
Ctrl-C, the command line's statuses, and the words of job lines."""
import json
import logging
import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest
from distributed import Client, LocalCluster

from conftest import run_cli, texsynth
from texsynth.batch import job_lines, run, work


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0",
                      silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
        yield client


@pytest.fixture
def pictures(tmp_path, demo):
    """The batches' inputs: a 32 x 32 exemplar, a 48 x 48 photo made of it, a mask of a hole in the photo,
    and a file that is no picture."""
    exemplar = np.ascontiguousarray(demo[10:42, 20:52])
    texsynth.write_image(tmp_path / "ex.png", exemplar)
    texsynth.write_image(tmp_path / "photo.png", texsynth.synthesize(exemplar, (48, 48), seed=5))
    mask = np.zeros((48, 48, 3), np.uint8)
    mask[12:24, 10:30] = 255
    texsynth.write_image(tmp_path / "mask.png", mask)
    (tmp_path / "notes.png").write_text("not a picture\n")
    return tmp_path


def write_batch(path, jobs):
    path.write_text("".join(json.dumps(job) + "\n" for job in jobs))
    return path


def textures(count, size, prefix="out/t", **words):
    return [{"exemplar": "ex.png", "output": f"{prefix}{seed}.png", "size": size, "seed": seed, **words}
            for seed in range(count)]


def texture_bytes(folder, size, seed):
    """The bytes a texture job writes, made in this process."""
    width, height = map(int, size.split("x"))
    return texsynth.encode_image(texsynth.synthesize(texsynth.read_image(folder / "ex.png"), (width, height),
                                                     seed=seed), "png")


def modification_times(folder):
    return {path: path.stat().st_mtime_ns for path in folder.glob("*.[pb][nm][gp]")}


def kill_a_busy_worker(client, folder):
    """Once the batch has written its first output, kills (SIGKILL) a worker that has jobs under way."""
    pids = client.run(os.getpid)
    deadline = time.monotonic() + 60
    while not any((folder / "out").glob("*.png")):
        assert time.monotonic() < deadline
        time.sleep(0.01)
    while True:
        busy = [worker for worker, keys in client.processing().items() if keys]
        if busy:
            os.kill(pids[busy[0]], signal.SIGKILL)
            return pids[busy[0]]
        assert time.monotonic() < deadline, "the batch ended before a worker could be killed"
        time.sleep(0.005)


def test_a_batch_finishes_every_good_job_through_a_killed_worker_and_reruns_only_what_changed(pictures, client):
    # Larger textures first, so that jobs are under way when a worker dies; then the three kinds of job with
    # their maps, a file that is no picture, and more small textures.
    jobs = [*textures(3, "192x192", prefix="out/large"),
            {"input": "photo.png", "mask": "mask.png", "output": "out/filled.png", "save_map": "out/filled-map.png"},
            {"input": "photo.png", "make_tileable": True, "output": "out/tile.bmp", "save_map": "maps/tile.png"},
            {"exemplar": "notes.png", "output": "out/notes.png"},
            *textures(6, "48x48")]
    batch = write_batch(pictures / "jobs.jsonl", jobs)
    reports = []
    running = threading.Thread(target=lambda: reports.append(run(batch, client, progress=False)))
    running.start()
    killed = kill_a_busy_worker(client, pictures)
    running.join(timeout=120)
    report = reports[0]
    assert killed not in client.run(os.getpid).values()
    assert (report["done"], report["failed"], report["skipped"], report["left"]) == (11, 1, 0, 0)
    [bad] = [job for job in report["jobs"] if job["outcome"] == "failed"]
    assert bad["line"] == 6 and bad["reason"] == "notes.png: not a BMP, PNG or JPEG file (it is text)"
    assert not (pictures / "out" / "notes.png").exists() and not list(pictures.rglob("*.tmp"))

    # The bytes of the command line: a texture, a fill and a tile with their maps.
    for arguments in (["--size=48x48", "--seed=4", "-o", "cli-t4.png", "ex.png"],
                      ["--mask=mask.png", "--save-map=cli-filled-map.png", "-o", "cli-filled.png", "photo.png"],
                      ["--make-tileable", "--save-map=cli-tile-map.png", "-o", "cli-tile.bmp", "photo.png"]):
        status, _, err = run_cli(*arguments, cwd=pictures)
        assert status == 0, err
    for ours, theirs in [("out/t4.png", "cli-t4.png"), ("out/filled.png", "cli-filled.png"),
                         ("out/filled-map.png", "cli-filled-map.png"), ("out/tile.bmp", "cli-tile.bmp"),
                         ("maps/tile.png", "cli-tile-map.png")]:
        assert (pictures / ours).read_bytes() == (pictures / theirs).read_bytes(), ours
    for seed in range(3):
        assert (pictures / f"out/large{seed}.png").read_bytes() == texture_bytes(pictures, "192x192", seed)

    # A rerun does nothing but refuse the bad job again.
    written = modification_times(pictures / "out")
    report = run(batch, client, progress=False)
    assert (report["done"], report["failed"], report["skipped"]) == (0, 1, 11)
    assert modification_times(pictures / "out") == written

    # A rerun after an output and a map are removed, and a job's seed changed, redoes those three jobs alone.
    (pictures / "out" / "t2.png").unlink()
    (pictures / "maps" / "tile.png").unlink()
    jobs[-1]["seed"] = 50
    write_batch(batch, jobs)
    report = run(batch, client, progress=False)
    assert sorted(job["output"] for job in report["jobs"] if job["outcome"] == "done") == \
        ["out/t2.png", "out/t5.png", "out/tile.bmp"]
    changed = {path for path, time_ns in modification_times(pictures / "out").items() if written.get(path) != time_ns}
    assert changed == {pictures / "out" / name for name in ("t2.png", "t5.png", "tile.bmp")}
    assert (pictures / "out/t2.png").read_bytes() == texture_bytes(pictures, "48x48", 2)
    assert (pictures / "out/t5.png").read_bytes() == texture_bytes(pictures, "48x48", 50)
    assert (pictures / "maps/tile.png").read_bytes() == (pictures / "cli-tile-map.png").read_bytes()


def test_workers_on_shared_storage_read_and_write_the_files_themselves(pictures, client):
    batch = write_batch(pictures / "jobs.jsonl", [
        *textures(2, "40x24"),
        {"input": "photo.png", "make_tileable": 8, "output": "out/tile.png", "save_map": "out/tile-map.png"},
        # A job reading a map an earlier one writes runs after it.
        {"input": "photo.png", "apply_map": "out/tile-map.png", "output": "out/again.png"},
        {"input": "photo.png", "extend": "0,4,12,0", "output": "out/grown.png", "save_map": "out/grown-map.png"}])
    report = run(batch, client, shared_storage=True, progress=False)
    assert report["done"] == 5, report
    assert (pictures / "out/t1.png").read_bytes() == texture_bytes(pictures, "40x24", 1)
    assert (pictures / "out/again.png").read_bytes() == (pictures / "out/tile.png").read_bytes()
    status, _, err = run_cli("--extend=0,4,12,0", "--save-map=cli-map.png", "-o", "cli.png", "photo.png",
                             cwd=pictures)
    assert status == 0, err
    assert (pictures / "out/grown.png").read_bytes() == (pictures / "cli.png").read_bytes()
    assert (pictures / "out/grown-map.png").read_bytes() == (pictures / "cli-map.png").read_bytes()


def batch_command(*arguments):
    return [sys.executable, "-m", "texsynth.batch", *map(str, arguments)]


# The batch command's environment: this module, wherever the tests run from.
BATCH_ENVIRONMENT = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(texsynth.__file__)))


def test_ctrl_c_stops_a_batch_cleanly_and_a_rerun_finishes_it(pictures):
    batch = write_batch(pictures / "jobs.jsonl", textures(40, "64x64"))
    # In a session of its own, as a terminal's foreground job: Ctrl-C signals the whole process group.
    interrupted = subprocess.Popen(batch_command("--workers=2", "--report=first.json", batch), cwd=pictures,
                                   env=BATCH_ENVIRONMENT, stderr=subprocess.PIPE, text=True, start_new_session=True)
    while not any((pictures / "out").glob("*.png")):
        assert interrupted.poll() is None
        time.sleep(0.01)
    os.killpg(interrupted.pid, signal.SIGINT)
    _, err = interrupted.communicate(timeout=60)
    first = json.loads((pictures / "first.json").read_text())
    assert interrupted.returncode == -signal.SIGINT
    assert err.splitlines() == [f"texsynth.batch: stopped: {first['done']} done, {first['left']} left; run it "
                                "again to finish"]
    assert first["done"] >= 1 and first["left"] >= 1 and not list(pictures.rglob("*.tmp"))
    assert len(list((pictures / "out").glob("*.png"))) == first["done"]

    rerun = subprocess.run(batch_command("--report=second.json", batch), cwd=pictures, env=BATCH_ENVIRONMENT,
                           capture_output=True, text=True, timeout=120)
    second = json.loads((pictures / "second.json").read_text())
    assert rerun.returncode == 0 and rerun.stderr == ""
    assert (second["skipped"], second["done"]) == (first["done"], 40 - first["done"])
    for seed in (0, 39):
        assert (pictures / f"out/t{seed}.png").read_bytes() == texture_bytes(pictures, "64x64", seed)


def test_the_command_line_says_in_its_status_whether_everything_was_done(pictures):
    def batch(*arguments):
        done = subprocess.run(batch_command(*arguments), cwd=pictures, env=BATCH_ENVIRONMENT, capture_output=True,
                              text=True, timeout=60)
        return done.returncode, done.stderr

    assert batch("missing.jsonl") == (2, "texsynth.batch: missing.jsonl: cannot open: No such file or directory\n")
    status, err = batch("--workers=0", "jobs.jsonl")
    assert status == 2 and err.startswith("texsynth.batch: argument --workers: expected a whole number of at least 1")
    # A batch of refused jobs fails them, one line each, without starting a cluster.
    write_batch(pictures / "refused.jsonl", [{"exemplar": "ex.png"}, {"exemplar": "ex.png", "output": "o.gif"}])
    assert batch("refused.jsonl") == (1, "texsynth.batch: refused.jsonl:1: output: missing (every job names the "
                                         "file it writes)\ntexsynth.batch: refused.jsonl:2: output: \"o.gif\": the "
                                         "name must end in .png or .bmp, which say how it is written\n")
    # --make-from writes the common batch, its paths relative to the batch file's folder.
    (pictures / "batches").mkdir()
    assert batch("--make-from=.", "--seeds=1-2,7", "--sizes=64x64,32x48", "batches/all.jsonl") == (0, "")
    lines = [json.loads(line) for line in (pictures / "batches" / "all.jsonl").read_text().splitlines()]
    assert len(lines) == 4 * 2 * 3  # ex, mask, notes and photo (notes.png fails when run)
    assert lines[0] == {"exemplar": "../ex.png", "output": "out/ex-64x64-1.png", "size": "64x64", "seed": 1}
    assert lines[-1]["output"] == "out/photo-32x48-7.png"


# Jobs that fail on the worker, and the command line that fails the same way.
WORKER_FAILURES = [
    ({"exemplar": "see-through.png", "output": "o.bmp"}, ["-o", "o.bmp", "see-through.png"]),
    ({"input": "photo.png", "mask": "ex.png", "output": "o.png"}, ["--mask=ex.png", "-o", "o.png", "photo.png"]),
    ({"input": "ex.png", "apply_map": "photo.png", "output": "o.png"},
     ["--apply-map=photo.png", "-o", "o.png", "ex.png"]),
    ({"exemplar": "ex.png", "output": "o.png", "levels": 4}, ["--levels=4", "-o", "o.png", "ex.png"]),
]


@pytest.mark.parametrize("words, arguments", WORKER_FAILURES)
def test_jobs_fail_with_the_reason_the_command_line_gives(pictures, transparent, words, arguments):
    texsynth.write_image(pictures / "see-through.png", transparent)
    call = job_lines.job_from_words(1, words, str(pictures)).call
    result = work.run_call(call, {file.resolved: open(file.resolved, "rb").read() for file in call.files()})
    status, _, err = run_cli(*arguments, cwd=pictures)
    assert status == 1 and err == f"texsynth: {result['failed']}\n"


# Jobs that say what goes where (several exemplars, guides, a transfer, sample masks, structure maps), and the
# command line that makes the same files.
CONTROLLED_JOBS = [
    ({"exemplar": ["ex.png", "photo.png"], "size": "40x40", "save_map": "m.png"},
     ["--size=40x40", "--save-map=m.png", "-o", "o.png", "ex.png", "photo.png"]),
    ({"exemplar": "ex.png", "guide": "guide.png", "target_guide": "layout.png", "guide-weight": 0.5},
     ["--guide=guide.png", "--target-guide=layout.png", "--guide-weight=0.5", "-o", "o.png", "ex.png"]),
    ({"input": "ex.png", "transfer": "photo.png", "sample_mask": "guide.png", "match_also": "guide.png:2"},
     ["--transfer=photo.png", "--sample-mask=guide.png", "--match-also=guide.png:2", "-o", "o.png", "ex.png"]),
    ({"input": "photo.png", "mask": "mask.png", "exemplar": "ex.png", "sample_mask": "guide.png"},
     ["--mask=mask.png", "--exemplar=ex.png", "--sample-mask=guide.png", "-o", "o.png", "photo.png"]),
]


@pytest.mark.parametrize("words, arguments", CONTROLLED_JOBS)
def test_jobs_saying_what_goes_where_write_the_command_lines_bytes(pictures, words, arguments):
    guide = np.zeros((32, 32, 3), np.uint8)
    guide[:, 16:] = 255
    texsynth.write_image(pictures / "guide.png", guide)
    texsynth.write_image(pictures / "layout.png", np.tile(guide, (1, 2, 1))[:24])
    call = job_lines.job_from_words(1, {**words, "output": "o.png"}, str(pictures)).call
    result = work.run_call(call, {file.resolved: open(file.resolved, "rb").read() for file in call.files()})
    assert run_cli(*arguments, cwd=pictures)[0] == 0
    assert result["image"] == (pictures / "o.png").read_bytes()
    if "save_map" in words:
        assert result["map"] == (pictures / "m.png").read_bytes()


# Job lines that cannot be done as written, and why.
REFUSED = [
    ('{"exemplar": "ex.png"}', "output: missing (every job names the file it writes)"),
    ('{"exemplar": "ex.png", "output": "o.gif"}',
     'output: "o.gif": the name must end in .png or .bmp, which say how it is written'),
    ('{"exemplar": "ex.png", "output": "o.png", "colour": 3}', "colour: unknown word (the words are input, "),
    ('{"exemplar": "ex.png", "output": "o.png", "size": "8by8"}', 'size: expected "WxH" with W and H whole numbers'),
    ('{"exemplar": "ex.png", "output": "o.png", "save_map": "m.bmp"}',
     'save_map: "m.bmp": a source map is written as a 16-bit PNG: its name must end in .png'),
    ('{"input": "p.png", "mask": "m.png", "output": "o.png", "size": "8x8"}',
     "size: has no meaning with mask: the result has the input's size"),
    ('{"input": "p.png", "mask": "m.png", "make_tileable": true, "output": "o.png"}',
     "make_tileable: not with mask; fill the hole first, then make the result tile"),
    ('{"input": "p.png", "exemplar": "e.png", "output": "o.png"}',
     "exemplar: only with mask or extend, whose new pixels it gives"),
    ('{"input": "p.png", "extend": "1,2,3", "output": "o.png"}',
     'extend: expected N or "LEFT,TOP,RIGHT,BOTTOM" in pixels, got "1,2,3"'),
    ('{"input": "p.png", "extend": 8, "make_tileable": true, "output": "o.png"}',
     "make_tileable: not with extend; grow the picture first, then make the result tile"),
    ('{"input": "p.png", "apply_map": "m.png", "seed": 1, "output": "o.png"}',
     "seed: has no meaning with apply_map, which only samples the input through the map"),
    ('{"input": "p.png", "image": "p.png", "output": "o.png"}', "image: the same as input; give one of them"),
    ('{"input": ["p.png", "q.png"], "mask": "m.png", "output": "o.png"}',
     "input: several pictures only for a texture, a transfer or apply_map"),
    ('{"exemplar": ["p.png", "q.png"], "match_also": ["h.png", "h2.png", "n.png"], "output": "o.png"}',
     "match_also: expected one map of each kind for every exemplar (a multiple of 2), got 3"),
    ('{"input": "p.png", "transfer": "t.png", "guide": "g.png", "output": "o.png"}',
     "guide: only with synthesize, not with transfer"),
    ('["ex.png", "o.png"]', 'expected a JSON object ({"exemplar": ..., "output": ...}), got ["ex.png", "o.png"]'),
    ('{"exemplar": "ex.png", "output": "o.png",', "not JSON: "),
]


@pytest.mark.parametrize("line, reason", REFUSED)
def test_job_lines_that_cannot_be_done_are_refused_with_their_reason(line, reason):
    job = job_lines.job_from_line(1, line, "/batches")
    assert job.refusal is not None and job.refusal.startswith(reason), job.refusal


def test_job_lines_are_calls_of_the_module_in_its_words_or_the_command_lines():
    call = job_lines.job_from_line(1, '{"exemplar": "ex.png", "output": "o.png", "half-sizes": "2,1,1,0,2,1,0,0,2", '
                                      '"seed": 7}', "/b").call
    assert call.function == "synthesize" and call.output_format == "png"
    assert call.arguments == {"exemplar": job_lines.File("ex.png", "/b/ex.png", "picture"), "size": [512, 512],
                              "half_sizes": [2, 1, 1, 0, 2, 1, 0, 0, 2], "seed": 7, "threads": 1}
    # Beside "input", "exemplar" is where a fill's pixels come from; the mask is read as a mask.
    call = job_lines.job_from_words(1, {"input": "p.jpg", "mask": "m.png", "exemplar": "e.png", "output": "o.BMP",
                                        "threads": 2}, "/b").call
    assert (call.function, call.output_format) == ("fill", "bmp")
    assert call.arguments == {"image": job_lines.File("p.jpg", "/b/p.jpg", "picture"),
                              "mask": job_lines.File("m.png", "/b/m.png", "mask"),
                              "exemplar": job_lines.File("e.png", "/b/e.png", "picture"), "threads": 2}
    call = job_lines.job_from_words(1, {"exemplar": "w.png", "make-tileable": 16, "output": "o.png"}, "/b").call
    assert call.function == "make_tileable" and call.arguments["band"] == 16
    call = job_lines.job_from_words(1, {"input": "w.png", "extend": "0,0,20,8", "output": "o.png"}, "/b").call
    assert call.function == "extend" and call.arguments["border"] == [0, 0, 20, 8]


def test_jobs_writing_one_file_are_refused_and_jobs_reading_an_earlier_ones_output_wait_for_it():
    jobs = [job_lines.job_from_words(number, words, "/b") for number, words in enumerate([
        {"exemplar": "ex.png", "output": "a.png", "save_map": "maps/a.png"},
        {"exemplar": "ex.png", "output": "./a.png"},
        {"input": "normal.png", "apply_map": "maps/a.png", "output": "normal-a.png"},
        {"input": "normal.png", "apply_map": "maps/e.png", "output": "normal-e.png"},
        {"exemplar": "ex.png", "output": "e.png", "save_map": "maps/e.png"},
        {"input": "wall.png", "make_tileable": True, "output": "wall.png"}], 1)]
    job_lines.link_jobs(jobs)
    assert [job.refusal for job in jobs] == [
        None, "output: ./a.png is written by line 1 too", None,
        "maps/e.png: is written by line 5; put the line that writes it first", None,
        "wall.png: is also what the job writes; write elsewhere (a rerun would work on the job's own result)"]
    assert jobs[2].after == {1}
