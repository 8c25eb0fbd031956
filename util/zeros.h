// Whether a buffer holds nothing but zero bytes: a restore leaves such
// chunks of a new image unwritten (holes), and krdtool takes an image of
// only zeros for an empty target.
#pragma once

#include <cstddef>

namespace kiroda {

bool all_zero(const void* data, std::size_t size);

}  // namespace kiroda
