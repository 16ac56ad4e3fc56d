"""Batches: thousands of textures, holes and tiles on a Dask cluster, resumable, with nothing lost.

A batch is a JSON Lines file, one job a line, in the words of the command line and the module:

    {"exemplar": "moss.png", "output": "out/moss-7.png", "size": "1024x1024", "seed": 7}
    {"input": "photo.jpg", "mask": "scratch.png", "output": "out/mended.png"}
    {"input": "wall.jpg", "make_tileable": true, "output": "out/wall.png", "save_map": "out/wall-map.png"}
    {"input": "normal.png", "apply_map": "out/wall-map.png", "output": "out/wall-normal.png"}

Paths are relative to the batch file's folder. The words: input (INPUT; or "exemplar" for a texture, "image"
for the rest, as the module names it), output (.png or .bmp), size ("WxH" or [W, H]; default 512x512),
seed, match, passes, levels, half_sizes ("2,1,1,0,2,1,0,0,2" or a list), k, threads (default 1: a batch keeps
the cores busy with jobs), mask (a fill; "exemplar" beside "input", or "exemplar_file", is where its pixels
come from), make_tileable (true or the band's width; or band), extend (N, "LEFT,TOP,RIGHT,BOTTOM" or a list;
or border), save_map (.png), apply_map. A word spelt with "-" is the same as with "_"; any other word refuses
its job. Each job's output is what `texsynth [options]
-o OUTPUT INPUT` writes, byte for byte.

    python3 -m texsynth.batch JOBS.jsonl                         on a local cluster, one worker per core
    python3 -m texsynth.batch --scheduler=tcp://HOST:8786 JOBS.jsonl
    texsynth.batch.run("JOBS.jsonl")  or  texsynth.batch.run([{...}, ...], client)

The client reads every input and writes every output (whole or not at all), so no shared file system is
needed (shared_storage=True, --shared-storage: the workers read and write the files themselves). Each output
folder keeps a record of what was made there (.texsynth-batch.jsonl): a rerun skips the jobs whose outputs
are as recorded, made with the settings and input files the jobs have now, and does the rest. A failed job
is reported with its reason and the others go on; a worker that dies has its jobs done elsewhere; Ctrl-C
stops cleanly.

textures(folder, seeds, sizes) makes the common batch: every exemplar of a folder, at every seed and size.
"""
from texsynth.batch.command_line import main
from texsynth.batch.job_lines import textures
from texsynth.batch.running import BatchStopped, run

__all__ = ["run", "textures", "BatchStopped", "main"]
