#pragma once

// The texsynth library: textures, filled holes and tileable pictures made of an exemplar's pixels.
//   <texsynth/job.h>               a job in; its result, source map or error out
//   <texsynth/settings.h>          how it is synthesized: settings, limits, defaults and their checks
//   <texsynth/image.h>             pictures in memory
//   <texsynth/image_files.h>       pictures as PNG, JPEG and BMP files
//   <texsynth/source_map_files.h>  source maps as files
//   <texsynth/profile.h>           where a job's time went, for those who measure it
//   <texsynth/version.h>           the version, TEXSYNTH_VERSION
//   <texsynth/api.h>               TEXSYNTH_API, which marks what the shared library exports

#include <texsynth/image.h>
#include <texsynth/image_files.h>
#include <texsynth/job.h>
#include <texsynth/profile.h>
#include <texsynth/settings.h>
#include <texsynth/source_map_files.h>
#include <texsynth/version.h>
