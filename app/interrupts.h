#pragma once

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT end the program without leaving a half-written output file: the
// handler removes the temporary file being written, if any, and then lets the signal take its usual course,
// so the caller still sees the program killed by it. Signals the program was started with set to be ignored
// (as by nohup, or for a background job) stay ignored. Also ignores SIGXFSZ, so that a file size limit
// makes a write fail, which is reported, instead of killing the program with the file unfinished.
void install_interrupt_handlers();
