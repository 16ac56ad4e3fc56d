"""python3 -m texsynth.batch JOBS.jsonl (see texsynth.batch.command_line)."""
import sys

from texsynth.batch.command_line import main

sys.exit(main())
