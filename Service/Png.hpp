#pragma once

#include <cstdint>
#include <string>

namespace kordela::service {

// A small valid PNG (8-bit RGB): a square in the given colour with a white
// inner frame, so that logos of different manufacturers look different.
std::string MakeLogoPng(std::uint32_t rgb, int size = 48);

// Starts like a PNG but its image data is corrupt: a decoder must reject it.
std::string MakeBrokenPng();

}  // namespace kordela::service
