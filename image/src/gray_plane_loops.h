// Whole-plane byte loops of the gray plane, in vectors where the build has them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillfen::gray_plane_loops {

// out[i] = table[in[i]] for a table of 256 levels.
void MapLevels(const std::uint8_t* in, std::uint8_t* out, std::size_t count, const std::uint8_t* table);

// The smallest and largest level of count > 0 pixels.
void LevelRange(const std::uint8_t* in, std::size_t count, std::uint8_t& low, std::uint8_t& high);

}  // namespace quillfen::gray_plane_loops
