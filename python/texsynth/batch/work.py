"""The work of one job on a worker: its files decoded, the module's function called, its results encoded
(and, where storage is shared, written). Everything a job can get wrong comes back as its one-line reason,
in the words the command line prints after "texsynth: "."""
import contextlib
import ctypes
import itertools
import os
import time

import texsynth
from texsynth.batch.job_lines import File


class JobFailed(Exception):
    """Why a job could not be done, one line."""


# Numbers the temporary files of this process.
temporary_numbers = itertools.count()

# glibc's mallopt() parameters, and the values its own adjustments reach in a program that frees large blocks.
M_TRIM_THRESHOLD, M_MMAP_THRESHOLD = -1, -3
MMAP_THRESHOLD, TRIM_THRESHOLD = 32 << 20, 64 << 20
allocator_tuned = False


def tune_allocator():
    """Dask's nanny starts its workers with MALLOC_TRIM_THRESHOLD_=65536, which makes glibc hand every freed
    block above 128 KiB back to the system at once. A job allocates its pyramids and tables anew, and would
    fault their pages in again every time: a 16 x 16 texture from the demo exemplar took 0.10 s so against
    0.039 s. Once per worker, large blocks are kept for reuse instead, as glibc does by default in a program
    that has freed a few."""
    global allocator_tuned
    if not allocator_tuned:
        allocator_tuned = True
        with contextlib.suppress(OSError, AttributeError):  # not glibc
            libc = ctypes.CDLL(None)
            libc.mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD)
            libc.mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD)


def read_file(path, shown):
    """A file's bytes, or JobFailed naming it as `shown`."""
    try:
        with open(path, "rb") as opened:
            try:
                return opened.read()
            except OSError as error:
                raise JobFailed(f"{shown}: cannot read: {error.strerror}") from None
    except IsADirectoryError as error:
        raise JobFailed(f"{shown}: cannot read: {error.strerror}") from None
    except OSError as error:
        raise JobFailed(f"{shown}: cannot open: {error.strerror}") from None


def write_whole(path, content):
    """Writes bytes as the program writes its outputs: under a temporary name beside `path`, synced, then
    renamed onto it, so that `path` holds its old content or the new one whole and nothing else is left
    behind. Raises OSError with "<path>: <why>"."""
    folder, name = os.path.split(path)
    suffix = f".{os.getpid()}.{next(temporary_numbers)}.tmp"
    temporary = os.path.join(folder, name[:255 - len(suffix)] + suffix)
    step = "cannot create"
    try:
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
        try:
            step = "cannot write"
            with os.fdopen(descriptor, "wb") as opened:
                opened.write(content)
                opened.flush()
                os.fsync(opened.fileno())
            step = "cannot replace"
            os.replace(temporary, path)
        except BaseException:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
            raise
    except OSError as error:
        raise OSError(f"{path}: {step}: {error.strerror}") from None


def write_file(path, content):
    """Writes a result whole or not at all, making its folder if there is none."""
    folder = os.path.dirname(path) or "."
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as error:
        raise JobFailed(f"{folder}: cannot create: {error.strerror}") from None
    try:
        write_whole(path, content)
    except OSError as error:
        raise JobFailed(str(error)) from None


def load(file, content, bmp_output):
    """A file of the job as the module takes it: a picture (without alpha when the result goes to a BMP
    file, which cannot hold it), a mask (its non-black pixels), or a source map."""
    try:
        if file.kind == "source_map":
            return texsynth.decode_source_map(content)
        picture = texsynth.decode_image(content)
    except ValueError as error:
        raise JobFailed(f"{file.path}: {error}") from None
    if file.kind == "mask":
        return picture[..., :3].any(axis=2)
    if bmp_output and picture.shape[2] == 4:
        if (picture[..., 3] != 255).any():
            raise JobFailed(f"{file.path}: has transparency, which a BMP file cannot hold; write the result to a .png")
        picture = picture[..., :3]
    return picture


def loaded(value, contents, bmp_output):
    if isinstance(value, (list, tuple)):
        return type(value)(loaded(item, contents, bmp_output) for item in value)
    if not isinstance(value, File):
        return value
    content = contents[value.resolved] if contents is not None else read_file(value.resolved, value.path)
    return load(value, content, bmp_output)


def check_mask_size(call, arguments):
    """A fill's mask must cover its picture, as the command line says it."""
    image, mask = arguments["image"], arguments["mask"]
    if mask.shape[:2] != image.shape[:2]:
        raise JobFailed(f"{call.arguments['mask'].path}: is {mask.shape[1]}x{mask.shape[0]}, not the size of the "
                        f"image ({image.shape[1]}x{image.shape[0]})")


def reworded(message, call):
    """The module names what was at fault ("exemplar: too small ..."); a file is named as the job names it."""
    subject, separator, why = message.partition(": ")
    value = call.arguments.get(subject.replace(" ", "_"))
    if isinstance(value, list) and len(value) == 1:
        value = value[0]  # a list of one file: sample_masks, guides
    return f"{value.path}: {why}" if separator and isinstance(value, File) else message


def run_calls(calls, contents):
    """Several jobs handed over as one task (small textures, see running.py): each done as run_call does it,
    their results in order."""
    return [run_call(call, files) for call, files in zip(calls, contents)]


def run_call(call, contents):
    """Does a job's call. `contents` holds its files' bytes by resolved path, or is None where storage is
    shared (the files are read here, and the results written here). Returns {"image": bytes, "map": bytes or
    None, "seconds": s} (the bytes None once written here) or {"failed": reason, "seconds": s}."""
    start = time.perf_counter()
    tune_allocator()
    try:
        bmp_output = call.output_format == "bmp"
        arguments = {name: loaded(value, contents, bmp_output) for name, value in call.arguments.items()}
        if call.function == "fill":
            check_mask_size(call, arguments)
        if call.save_map:
            arguments["return_map"] = True
        try:
            result = getattr(texsynth, call.function)(**arguments)
        except (ValueError, TypeError) as error:
            raise JobFailed(reworded(str(error), call)) from None
        picture, source_map = result if call.save_map else (result, None)
        try:
            encoded = {"image": texsynth.encode_image(picture, call.output_format),
                       "map": texsynth.encode_source_map(source_map) if call.save_map else None}
        except ValueError as error:
            raise JobFailed(f"output: {error}") from None
        if call.output is not None:
            write_file(call.output, encoded["image"])
            if call.save_map:
                write_file(call.map_output, encoded["map"])
            encoded = {"image": None, "map": None}
    except JobFailed as failure:
        return {"failed": str(failure), "seconds": time.perf_counter() - start}
    except MemoryError:
        return {"failed": "not enough memory on the worker", "seconds": time.perf_counter() - start}
    return {**encoded, "seconds": time.perf_counter() - start}
