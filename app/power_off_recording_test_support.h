// For test programs: the power_off they link records its calls instead of
// shutting anything down.
#pragma once

#include <vector>

namespace kiroda::test_support {

// The flags of every power_off call since the last clear.
std::vector<unsigned> power_off_calls();
void clear_power_off_calls();

}  // namespace kiroda::test_support
