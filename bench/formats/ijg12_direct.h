// The 12-bit IJG build driven directly through its stdio managers: the peer
// of our 12-bit JPEG glue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench_formats {

bool ijg12Encode(const std::string& path, int width, int height, const std::uint16_t* pixels, int quality);
bool ijg12Decode(const std::string& path, std::vector<std::uint16_t>& out, int& width, int& height);

}  // namespace bench_formats
