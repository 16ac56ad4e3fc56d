"""Job lines: one JSON object a line, in the words of the command line and the Python module, each turned
into a call of one of the module's functions (which work.py makes on a worker)."""
import json
import os
import re
from dataclasses import dataclass, field
from typing import Any, Callable, Optional


class BadJob(Exception):
    """A job line that cannot be done as written; the message is its one-line reason."""


class UnreadableBatch(Exception):
    """A batch file that cannot be read; the message says why."""


@dataclass(frozen=True)
class File:
    """A file a job reads: `path` as the job line gives it, `resolved` against the batch file's folder.
    `kind` says how a worker reads it: "picture", "mask" (non-black pixels marked) or "source_map"."""
    path: str
    resolved: str
    kind: str


@dataclass
class Call:
    """What a worker does for a job: one of the module's functions, its keyword arguments (files as File),
    and the output's format; `save_map` asks for the source map too."""
    function: str
    arguments: dict
    output_format: str
    save_map: bool = False
    # Shared storage: where the worker writes the results itself (the client writes them otherwise).
    output: Optional[str] = None
    map_output: Optional[str] = None

    def files(self):
        """Every file the call reads, in the order of its arguments."""
        def within(value):
            if isinstance(value, File):
                yield value
            elif isinstance(value, (list, tuple)):
                for item in value:
                    yield from within(item)
        for value in self.arguments.values():
            yield from within(value)


@dataclass
class Job:
    """One line of a batch: where it stood, what it writes, the call that makes it, and its settings as they
    are recorded beside its output (every word that changes the result, files by their names as written)."""
    line: int
    output: Optional[str] = None      # as written
    resolved_output: Optional[str] = None
    resolved_map: Optional[str] = None
    call: Optional[Call] = None
    settings: dict = field(default_factory=dict)
    refusal: Optional[str] = None     # why the line cannot be done
    after: set = field(default_factory=set)  # the lines whose outputs it reads


# How the value of a word is read: a function from its JSON value (and the batch file's folder) to the
# value the module's function takes. Files become File objects, read by the client (or, with shared storage,
# by the workers).

def as_given(value, folder):
    return value


def whole_size(value, folder):
    """"WxH" as --size spells it, or [W, H] as the module takes it."""
    if isinstance(value, str):
        found = re.fullmatch(r"\+?(\d+)x\+?(\d+)", value)
        if not found or int(found[1]) < 1 or int(found[2]) < 1:
            raise BadJob("expected \"WxH\" with W and H whole numbers of at least 1, e.g. \"512x512\", "
                         f"or [W, H]; got {json.dumps(value)}")
        return [int(found[1]), int(found[2])]
    if isinstance(value, list) and len(value) == 2:
        return value
    raise BadJob(f"expected \"WxH\" or [W, H], got {json.dumps(value)}")


def half_size_list(value, folder):
    """Half-sizes separated by commas as --half-sizes lists them, or a list (or L x L lists) of numbers."""
    if isinstance(value, str):
        try:
            return [int(part) for part in value.split(",")]
        except ValueError:
            raise BadJob(f"expected L x L whole numbers separated by commas, e.g. \"2,1,1,0,2,1,0,0,2\", got "
                         f"{json.dumps(value)}") from None
    return value


def band(value, folder):
    """make_tileable: true (the default band) or the band's width in pixels."""
    if value is True:
        return None
    if isinstance(value, int) and not isinstance(value, bool):
        return value
    raise BadJob(f"expected true or a band's width in pixels, got {json.dumps(value)}")


def border(value, folder):
    """extend: N pixels on every side or LEFT,TOP,RIGHT,BOTTOM, as --extend spells them, or as the module
    takes them (a number, or a list of four)."""
    if isinstance(value, str):
        try:
            sides = [int(part) for part in value.split(",")]
        except ValueError:
            sides = []
        if len(sides) not in (1, 4):
            raise BadJob(f"expected N or \"LEFT,TOP,RIGHT,BOTTOM\" in pixels, got {json.dumps(value)}")
        return sides[0] if len(sides) == 1 else sides
    return value


def file_of(kind):
    def read(value, folder):
        if not isinstance(value, str) or not value:
            raise BadJob(f"expected a file name, got {json.dumps(value)}")
        return File(value, os.path.normpath(os.path.join(folder, value)), kind)
    return read


def files_of(kind, always_a_list=False):
    """One file, or a list of them: for the pictures of several exemplars and the words that take one file per
    exemplar (guides, sample masks, which the module always takes as a list), read by the workers as lists of
    arrays."""
    def read(value, folder):
        if isinstance(value, list):
            if not value:
                raise BadJob("expected a file name or a list of them, got []")
            return [file_of(kind)(item, folder) for item in value]
        return [file_of(kind)(value, folder)] if always_a_list else file_of(kind)(value, folder)
    return read


def weight(value, folder):
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not 0 <= value <= MAX_WEIGHT:
        raise BadJob(f"expected a number from 0 to {MAX_WEIGHT}, got {json.dumps(value)}")
    return value


def maps_matched(value, folder):
    """match_also: "MAP" or "MAP:WEIGHT" as --match-also spells it, or a list of them as the option repeated
    (with several exemplars, every as many in a row as there are exemplars are one kind, one map for each).
    A list of (File, weight) pairs, grouped into kinds once the exemplars are known (call_of)."""
    entries = value if isinstance(value, list) and value else [value]
    maps = []
    for entry in entries:
        if not isinstance(entry, str) or not entry:
            raise BadJob(f"expected \"MAP\" or \"MAP:WEIGHT\", or a list of them; got {json.dumps(entry)}")
        path, given_weight = entry, 1.0
        found = re.fullmatch(r"(.+):([0-9.]+)", entry)
        if found:
            try:
                given_weight = weight(float(found[2]), folder)
            except ValueError:
                raise BadJob(f"expected \"MAP:WEIGHT\" with WEIGHT a number, got {json.dumps(entry)}") from None
            path = found[1]
        maps.append((file_of("picture")(path, folder), given_weight))
    return maps


def output_name(extensions, why):
    def read(value, folder):
        name = file_of("output")(value, folder).path
        if not name.lower().endswith(extensions) or len(os.path.basename(name)) <= 4:
            raise BadJob(f"{json.dumps(value)}: {why}")
        return name
    return read


# The functions of the module a job can call, and the argument of each that takes the picture worked on.
FUNCTIONS = {"synthesize": "exemplar", "transfer": "style", "fill": "image", "make_tileable": "image",
             "extend": "image", "apply_map": "image"}
SYNTHESIS = ("synthesize", "transfer", "fill", "make_tileable", "extend")
# The functions that take several pictures to work on (a list of exemplars, or one picture per exemplar).
SEVERAL_INPUTS = ("synthesize", "transfer", "apply_map")
# What says where things go: the functions that take it.
CONTROLLED = ("synthesize", "transfer")
# The most a guide or a structure map may weigh beside the colour, as the command line accepts.
MAX_WEIGHT = 64


@dataclass(frozen=True)
class Word:
    """A word of a job line: how its value is read, the keyword argument it becomes (None: it is not one), the
    functions that take it, the function a job with it calls (None: it does not choose one), and whether it
    changes the result."""
    read: Callable[[Any, str], Any]
    keyword: Optional[str]
    takers: tuple = SYNTHESIS
    function: Optional[str] = None
    changes_result: bool = True


PICTURE = file_of("picture")
PICTURES = files_of("picture")

# Every word a job line may use: the command line's long options and the module's keywords; a word spelt with
# "-" (half-sizes) is the same as with "_". The picture worked on is "input" (the command line's INPUT), or
# the module's word for it: "exemplar" for a texture, "image" for the rest, or "exemplar" when neither "input"
# nor "image" is given. With one of them given, "exemplar" is where the new pixels of a fill or a grown picture
# come from (--exemplar, the module's exemplar=), as "exemplar_file" is in any case.
WORDS = {
    "input": Word(PICTURES, None, tuple(FUNCTIONS)),
    "image": Word(PICTURES, "image", tuple(FUNCTIONS)),
    "exemplar": Word(PICTURES, "exemplar", ("fill", "extend")),
    "exemplar_file": Word(PICTURE, "exemplar", ("fill", "extend")),
    "output": Word(output_name((".png", ".bmp"), "the name must end in .png or .bmp, which say how it is written"),
                   None, tuple(FUNCTIONS)),
    "size": Word(whole_size, "size", ("synthesize",)),
    "seed": Word(as_given, "seed"),
    "match": Word(as_given, "match"),
    "passes": Word(as_given, "passes"),
    "levels": Word(as_given, "levels"),
    "half_sizes": Word(half_size_list, "half_sizes"),
    "k": Word(as_given, "k"),
    "threads": Word(as_given, "threads", changes_result=False),
    "mask": Word(file_of("mask"), "mask", ("fill",), function="fill"),
    "make_tileable": Word(band, "band", ("make_tileable",), function="make_tileable"),
    "band": Word(as_given, "band", ("make_tileable",)),
    "extend": Word(border, "border", ("extend",), function="extend"),
    "border": Word(border, "border", ("extend",), function="extend"),
    "save_map": Word(output_name((".png",), "a source map is written as a 16-bit PNG: its name must end in .png"),
                     None),
    "apply_map": Word(file_of("source_map"), "source_map", ("apply_map",), function="apply_map"),
    "transfer": Word(PICTURE, "target", ("transfer",), function="transfer"),
    "target": Word(PICTURE, "target", ("transfer",), function="transfer"),
    "sample_mask": Word(files_of("mask", True), "sample_masks", CONTROLLED + ("fill", "make_tileable")),
    "sample_masks": Word(files_of("mask", True), "sample_masks", CONTROLLED + ("fill", "make_tileable")),
    "guide": Word(files_of("picture", True), "guides", ("synthesize",)),
    "guides": Word(files_of("picture", True), "guides", ("synthesize",)),
    "target_guide": Word(PICTURE, "target_guide", ("synthesize",)),
    "guide_weight": Word(weight, "guide_weight", CONTROLLED),
    "match_also": Word(maps_matched, "match_also", CONTROLLED),
}
# The output size a texture has unless the job says otherwise: the command line's.
DEFAULT_SIZE = [512, 512]
# Threads each job works on unless it says otherwise: a batch keeps every core busy with jobs of their own.
DEFAULT_THREADS = 1


def refusal_for_extra(word, function, words):
    """Why `word` cannot be in a job calling `function`, in the command line's words where it has them."""
    if function == "apply_map":
        return f"{word}: has no meaning with apply_map, which only samples the input through the map"
    chooser = next((w for w in words if WORDS[w].function == function), function)
    if word == "size":
        result = {"extend": "is the input grown by its border",
                  "transfer": "has the size of the picture transferred onto"}.get(function, "has the input's size")
        return f"size: has no meaning with {chooser}: the result {result}"
    if word == "exemplar":
        return "exemplar: only with mask or extend, whose new pixels it gives"
    return f"{word}: only with {' or '.join(WORDS[word].takers)}, not with {chooser}"


# What to do instead of two jobs in one, in the command line's words.
ONE_AFTER_THE_OTHER = {
    frozenset({"fill", "make_tileable"}): "fill the hole first, then make the result tile",
    frozenset({"extend", "make_tileable"}): "grow the picture first, then make the result tile",
    frozenset({"extend", "fill"}): "grow the picture first, then fill its hole",
}


def job_from_line(number, text, folder):
    """The job of line `number` (its JSON text); a line that cannot be done has its refusal set."""
    job = Job(number)
    try:
        value = json.loads(text)
    except json.JSONDecodeError as error:
        job.refusal = f"not JSON: {error}"
        return job
    if not isinstance(value, dict):
        job.refusal = f"expected a JSON object ({{\"exemplar\": ..., \"output\": ...}}), got {json.dumps(value)}"
        return job
    return job_from_words(number, value, folder)


def job_from_words(number, given, folder):
    """The job of a line's words (a dict); see job_from_line."""
    job = Job(number, output=given["output"] if isinstance(given.get("output"), str) else None)
    words = {}
    try:
        for name, value in given.items():
            word = str(name).replace("-", "_")
            if word not in WORDS:
                raise BadJob(f"{name}: unknown word (the words are {', '.join(WORDS)})")
            if word in words:
                raise BadJob(f"{name}: given twice")
            if word == "make_tileable" and value is False:
                continue
            try:
                words[word] = WORDS[word].read(value, folder)
            except BadJob as error:
                raise BadJob(f"{name}: {error}") from None
        if "output" in words:
            job.output = words["output"]
            job.resolved_output = os.path.normpath(os.path.join(folder, job.output))
        job.call = call_of(words)
    except BadJob as error:
        job.refusal = str(error)
        return job
    if "save_map" in words:
        job.resolved_map = os.path.normpath(os.path.join(folder, words["save_map"]))
    job.settings = {word: files_named(value) for word, value in words.items()
                    if WORDS[word].changes_result and word != "output"}
    if "size" not in job.settings and job.call.function == "synthesize" and "target_guide" not in words:
        job.settings["size"] = list(DEFAULT_SIZE)
    return job


def files_named(value):
    if isinstance(value, (list, tuple)):
        return [files_named(item) for item in value]
    return value.path if isinstance(value, File) else value


def call_of(words):
    """The call a job's words make (checked as the command line checks its options)."""
    if "output" not in words:
        raise BadJob("output: missing (every job names the file it writes)")
    choosers = [word for word in words if WORDS[word].function]
    if len(choosers) > 1:
        first, second = choosers[:2]
        hint = ONE_AFTER_THE_OTHER.get(frozenset({WORDS[first].function, WORDS[second].function}))
        raise BadJob(f"{second}: not with {first}" + (f"; {hint}" if hint else ""))
    function = WORDS[choosers[0]].function if choosers else "synthesize"
    given_input = [word for word in ("input", "image") if word in words]
    if len(given_input) > 1:
        raise BadJob("image: the same as input; give one of them")
    input_word = given_input[0] if given_input else "exemplar"
    if input_word not in words:
        raise BadJob("input: missing (the picture to work on: \"exemplar\" for a texture, \"input\" or "
                     "\"image\" for the rest)")
    pictures = words[input_word]
    if isinstance(pictures, list) and function not in SEVERAL_INPUTS:
        raise BadJob(f"{input_word}: several pictures only for a texture, a transfer or apply_map")
    if isinstance(pictures, list) and len(pictures) == 1:
        pictures = pictures[0]
    arguments = {FUNCTIONS[function]: pictures}
    for word, value in words.items():
        if word == input_word:
            continue
        if function not in WORDS[word].takers:
            raise BadJob(refusal_for_extra(word, function, words))
        if WORDS[word].keyword is None or word == "make_tileable" and value is None:
            continue  # not passed on: the files written, and make_tileable=true's default band
        if isinstance(value, list) and word in ("exemplar", "exemplar_file"):
            raise BadJob(f"{word}: one picture gives a {function}'s new pixels, not a list")
        if WORDS[word].keyword in arguments:
            raise BadJob(f"{word}: gives the {WORDS[word].keyword} a second time")
        arguments[WORDS[word].keyword] = value
    if "match_also" in arguments:
        arguments["match_also"] = kinds_of_maps(arguments["match_also"], pictures)
    if function == "synthesize" and "target_guide" not in arguments:
        arguments.setdefault("size", list(DEFAULT_SIZE))
    if function in SYNTHESIS:
        arguments.setdefault("threads", DEFAULT_THREADS)
    output_format = words["output"].rsplit(".", 1)[1].lower()
    return Call(function, arguments, output_format, save_map="save_map" in words)


def kinds_of_maps(maps, pictures):
    """The module's match_also from a job's maps: with N exemplars, every N maps in a row are one kind (one map
    for each exemplar), all of one weight."""
    count = len(pictures) if isinstance(pictures, list) else 1
    if len(maps) % count:
        raise BadJob(f"match_also: expected one map of each kind for every exemplar (a multiple of {count}), got "
                     f"{len(maps)}")
    kinds = []
    for first in range(0, len(maps), count):
        kind = maps[first:first + count]
        if any(given_weight != kind[0][1] for _, given_weight in kind):
            raise BadJob(f"match_also: the maps of one kind weigh the same (every {count} in a row are one kind)")
        files = [file for file, _ in kind]
        kinds.append((files if isinstance(pictures, list) else files[0], kind[0][1]))
    return kinds


def read_batch_file(path):
    """The jobs of a batch file, one a line (blank lines skipped), with paths relative to its folder.
    Raises UnreadableBatch when it cannot be read or is not UTF-8 text."""
    try:
        with open(path, "rb") as batch:
            content = batch.read()
    except IsADirectoryError as error:
        raise UnreadableBatch(f"cannot read: {error.strerror}") from None
    except OSError as error:
        raise UnreadableBatch(f"cannot open: {error.strerror}") from None
    try:
        text = content.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise UnreadableBatch(f"not UTF-8 text (byte {error.start} is not)") from None
    folder = os.path.dirname(os.path.abspath(path))
    return [job_from_line(number, line, folder)
            for number, line in enumerate(text.splitlines(), 1) if line.strip()]


def link_jobs(jobs):
    """Refuses every job that writes a file an earlier job writes (its output or its source map), and notes
    the earlier jobs whose files each job reads (a colour texture's map, applied to its normal map): it runs
    after them. A job cannot read what a later one writes."""
    writers = {}
    for job in jobs:
        if job.refusal:
            continue
        written = [path for path in (job.resolved_output, job.resolved_map) if path]
        again = next((path for path in written if path in writers), None)
        if again is not None:
            job.refusal = f"output: {path_shown(job, again)} is written by line {writers[again]} too"
            continue
        writers.update((path, job.line) for path in written)
    for job in jobs:
        for file in [] if job.refusal else job.call.files():
            writer = writers.get(file.resolved)
            if writer == job.line:
                job.refusal = (f"{file.path}: is also what the job writes; write elsewhere (a rerun would work on "
                               "the job's own result)")
                break
            if writer is not None and writer > job.line:
                job.refusal = f"{file.path}: is written by line {writer}; put the line that writes it first"
                break
            if writer is not None:
                job.after.add(writer)


def path_shown(job, path):
    return job.output if path == job.resolved_output else job.settings.get("save_map", path)


# The files textures() takes for exemplars, by their extensions (the readers tell formats by content).
EXEMPLAR_EXTENSIONS = (".png", ".jpg", ".jpeg", ".bmp")


def textures(folder, seeds=(1,), sizes=("512x512",), output="out/{name}-{size}-{seed}.png", *, relative_to=None,
             **words):
    """The common batch: a texture of every exemplar in `folder` (its .png, .jpg, .jpeg and .bmp files, in
    name order) at every size ("WxH" or (W, H)) and seed, as job lines (dicts) for run(). `output` names each
    file from the exemplar's name without its extension, the size ("WxH") and the seed; `words` are added to
    every job (match="coherent", ...). Exemplar paths are relative to `relative_to` (the folder of the batch
    file they will be written to) when it is given."""
    names = sorted(name for name in os.listdir(folder)
                   if name.lower().endswith(EXEMPLAR_EXTENSIONS) and os.path.isfile(os.path.join(folder, name)))
    jobs = []
    for name in names:
        path = os.path.join(folder, name)
        if relative_to is not None:
            path = os.path.relpath(path, relative_to)
        for size in sizes:
            size_text = size if isinstance(size, str) else f"{size[0]}x{size[1]}"
            for seed in seeds:
                jobs.append({"exemplar": path,
                             "output": output.format(name=os.path.splitext(name)[0], size=size_text, seed=seed),
                             "size": size_text, "seed": seed, **words})
    return jobs
