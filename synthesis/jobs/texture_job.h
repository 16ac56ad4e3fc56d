#pragma once

#include <texsynth/job.h>

// Making a texture (JobKind::generate) and re-making a picture in an exemplar's style (JobKind::transfer): a new
// picture every pixel of which is copied from the exemplars, laid out by guides where the job gives them.

// Checks a texture or a transfer and decides its levels.
bool check_texture_job(const Job& job, SynthesisSettings& settings, JobError& error);

// Does a checked texture or transfer.
bool run_texture_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                     const JobHooks& hooks);
