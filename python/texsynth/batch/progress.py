"""The progress bar of a batch, on a terminal only: jobs done, failed and left, and the rate."""
import shutil
import time

# Redrawn at most this often, in seconds: a fast batch finishes jobs by the hundred a second.
REDRAW_INTERVAL = 0.1
BAR_WIDTH = 20


class Progress:
    def __init__(self, stream, shown, total):
        self.stream = stream
        self.shown = shown
        self.total = total
        self.done = self.failed = self.skipped = 0
        self.started = None  # when the cluster took the first jobs: the rate counts from then
        self.drawn_at = 0.0
        self.drawn = False

    @property
    def left(self):
        return self.total - self.done - self.failed - self.skipped

    def start_clock(self):
        self.started = time.monotonic()

    def count(self, outcome):
        if outcome == "done":
            self.done += 1
        elif outcome == "failed":
            self.failed += 1
        elif outcome == "skipped":
            self.skipped += 1
        self.draw()

    def message(self, line):
        """A line of its own above the bar (a failed job's reason)."""
        self.clear()
        self.stream.write(line + "\n")
        self.stream.flush()
        self.draw(force=True)

    def draw(self, force=False):
        now = time.monotonic()
        if not self.shown or (not force and now - self.drawn_at < REDRAW_INTERVAL):
            return
        self.drawn_at = now
        words = [f"{self.done} done"]
        if self.skipped:
            words.append(f"{self.skipped} skipped")
        words += [f"{self.failed} failed", f"{self.left} left"]
        finished = self.done + self.failed
        if self.started is not None and finished and now > self.started:
            rate = finished / (now - self.started)
            words.append(f"{rate:.1f} jobs/s")
            if self.left:
                words.append(f"about {format_seconds(self.left / rate)} to go")
        filled = BAR_WIDTH * (self.total - self.left) // self.total if self.total else BAR_WIDTH
        line = f"[{'#' * filled}{'-' * (BAR_WIDTH - filled)}] {', '.join(words)}"
        columns = shutil.get_terminal_size().columns
        self.stream.write("\r" + line[:columns - 1] + "\x1b[K")
        self.stream.flush()
        self.drawn = True

    def clear(self):
        if self.drawn:
            self.stream.write("\r\x1b[K")
            self.drawn = False

    def finish(self):
        """The last state, on a line of its own."""
        if self.shown:
            self.draw(force=True)
            self.stream.write("\n")
            self.stream.flush()
            self.drawn = False


def format_seconds(seconds):
    if seconds < 90:
        return f"{seconds:.0f} s"
    if seconds < 5400:
        return f"{seconds / 60:.0f} min"
    return f"{seconds / 3600:.1f} h"
