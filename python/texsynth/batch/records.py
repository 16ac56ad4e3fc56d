"""What earlier runs made. Every folder a batch writes to holds a file of records, one a line: an output's
name, the settings and input files it was made with, and its files (and its source map's) as they were
written. A rerun skips a job whose output and map are still as recorded and were made with the settings and
inputs the job has now; everything else is made again."""
import json
import os

import texsynth
from texsynth.batch.work import JobFailed

RECORDS_NAME = ".texsynth-batch.jsonl"


def identity(path):
    """A file as the records know it: [bytes, modification time in ns], or None if there is none."""
    try:
        status = os.stat(path)
    except OSError:
        return None
    return [status.st_size, status.st_mtime_ns]


class Records:
    """The records of every output folder a batch writes to, read once, appended to as jobs are done."""

    def __init__(self):
        self._folders = {}   # folder: {output name: its latest record}
        self._appending = {}  # folder: its records file, open for appending

    def inputs_now(self, job):
        """The job's input files as they are now, by name as the job gives them."""
        return {file.path: identity(file.resolved) for file in job.call.files()}

    def is_done(self, job):
        folder, name = os.path.split(job.resolved_output)
        record = self._records_of(folder).get(name)
        if record is None or record.get("settings") != job.settings or record.get("inputs") != self.inputs_now(job):
            return False
        written = record.get("written") or {}
        for key, path in (("output", job.resolved_output), ("save_map", job.resolved_map)):
            if path is not None and (written.get(key) is None or identity(path) != written[key]):
                return False
        return True

    def add(self, job, inputs):
        """Records a job whose files are written; `inputs` are its inputs as they were when read."""
        folder, name = os.path.split(job.resolved_output)
        written = {"output": identity(job.resolved_output)}
        if job.resolved_map:
            written["save_map"] = identity(job.resolved_map)
        record = {"output": name, "settings": job.settings, "inputs": inputs, "written": written,
                  "texsynth": texsynth.__version__}
        path = os.path.join(folder, RECORDS_NAME)
        try:
            if folder not in self._appending:
                self._appending[folder] = open(path, "a", encoding="utf-8")
            self._appending[folder].write(json.dumps(record, separators=(",", ":")) + "\n")
            self._appending[folder].flush()
        except OSError as error:
            raise JobFailed(f"{path}: cannot write: {error.strerror} (the output is made, but a rerun will make it "
                            "again)") from None
        self._records_of(folder)[name] = record

    def close(self):
        for records_file in self._appending.values():
            records_file.close()
        self._appending.clear()

    def _records_of(self, folder):
        if folder not in self._folders:
            records = {}
            try:
                with open(os.path.join(folder, RECORDS_NAME), encoding="utf-8", errors="replace") as records_file:
                    for line in records_file:
                        try:
                            record = json.loads(line)
                        except ValueError:
                            continue  # a line cut short when the machine stopped
                        if isinstance(record, dict) and isinstance(record.get("output"), str):
                            records[record["output"]] = record
            except OSError:
                pass
            self._folders[folder] = records
        return self._folders[folder]
