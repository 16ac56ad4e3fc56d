#pragma once

#include <string>

#include <texsynth/image.h>

#include "image/image_input.h"

// Reads a baseline or progressive JPEG, colour or grey, into a 3-channel image as the library decodes it by
// default (grey becomes R = G = B). CMYK and YCCK files are refused, and so is any file the library finds cut
// short or corrupt, rather than shown with grey or garbled blocks. On failure returns false with the reason in
// `why` and leaves `image` unchanged. Never prints.
bool read_jpeg(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size = {});
