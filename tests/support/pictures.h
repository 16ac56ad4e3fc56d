#pragma once

#include <string>

#include "image/image.h"
#include "synthesis/job.h"

// A picture file read with the program's own reader; a failure fails the test (and gives an empty picture).
Image read_picture_file(const std::string& path);

// The result of a job that must succeed; a failure fails the test.
JobResult run_job_or_fail(const Job& job);
