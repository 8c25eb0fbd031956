#include <windows.h>

#include <gtest/gtest.h>

#include "app/power_off.h"
#include "app/power_off_recording_test_support.h"
#include "app/startup.h"

namespace kiroda {
namespace {

TEST(EnablePrivilege, AnUnknownPrivilegeFailsWithItsError) {
    EXPECT_EQ(enable_privilege("SeNoSuchPrivilegeForKiroda"),
              static_cast<unsigned long>(ERROR_NO_SUCH_PRIVILEGE));
}

TEST(EnablePrivilege, TheShutdownPrivilegeIsEnabledOrReportedMissing) {
    const unsigned long result = enable_privilege("SeShutdownPrivilege");
    EXPECT_TRUE(result == ERROR_SUCCESS || result == ERROR_NOT_ALL_ASSIGNED) << result;
}

TEST(PowerOffSeam, TestProgramsRecordThePowerOffInsteadOfDoingIt) {
    test_support::clear_power_off_calls();
    power_off(kPowerOffFlags);
    EXPECT_EQ(test_support::power_off_calls(), std::vector<unsigned>{13u});
    EXPECT_EQ(kPowerOffFlags, static_cast<unsigned>(EWX_SHUTDOWN | EWX_FORCE | EWX_POWEROFF));
    test_support::clear_power_off_calls();
}

}  // namespace
}  // namespace kiroda
