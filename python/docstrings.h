#pragma once

#include <string>

// The module's help texts, with the defaults and limits filled in from the library's own constants, so that
// they cannot drift from what the library does. Each function's text starts with its signature in the form
// Python reads as __text_signature__ (inspect.signature and help() show it).

std::string module_doc();
std::string synthesize_doc();
std::string transfer_doc();
std::string fill_doc();
std::string make_tileable_doc();
std::string extend_doc();
std::string apply_map_doc();
std::string read_image_doc();
std::string write_image_doc();
std::string read_source_map_doc();
std::string write_source_map_doc();
