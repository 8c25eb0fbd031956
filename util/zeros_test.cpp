#include "util/zeros.h"

#include <gtest/gtest.h>

#include <vector>

namespace kiroda {
namespace {

// One nonzero byte anywhere, in the word loop or in the tail, is found.
TEST(AllZero, FindsOneByteAnywhere) {
    std::vector<unsigned char> data(200003, 0);
    EXPECT_TRUE(all_zero(data.data(), data.size()));
    EXPECT_TRUE(all_zero(data.data(), 0));
    for (std::size_t at : {std::size_t{0}, std::size_t{7}, std::size_t{8}, std::size_t{65536},
                           data.size() - 9, data.size() - 1}) {
        data[at] = 0x40;
        EXPECT_FALSE(all_zero(data.data(), data.size())) << at;
        EXPECT_TRUE(all_zero(data.data(), at)) << at;  // everything before it is still zeros
        data[at] = 0;
    }
}

}  // namespace
}  // namespace kiroda
