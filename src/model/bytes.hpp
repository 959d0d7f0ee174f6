// Byte strings as they travel between the library reader and the shared file.
#pragma once

#include <cstdint>
#include <vector>

namespace lumenfolio {

using Bytes = std::vector<std::uint8_t>;

}  // namespace lumenfolio
