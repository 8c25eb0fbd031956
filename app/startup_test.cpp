#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kiroda {
namespace {

TEST(InstanceMutex, OneCreationDecidesWhetherAnotherCopyRuns) {
    constexpr unsigned long kSuccess = 0, kAccessDenied = 5, kAlreadyExists = 183,
                            kNotEnoughMemory = 8, kInvalidName = 123;
    const struct {
        bool created;
        unsigned long error;
        instance_verdict verdict;
    } cases[] = {
        {true, kSuccess, instance_verdict::run},
        {true, kAlreadyExists, instance_verdict::second_copy},
        {false, kAccessDenied, instance_verdict::second_copy},
        {false, kAlreadyExists, instance_verdict::second_copy},
        {false, kNotEnoughMemory, instance_verdict::run_unprotected},
        {false, kInvalidName, instance_verdict::run_unprotected},
        {false, kSuccess, instance_verdict::run_unprotected},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(judge_instance_mutex(c.created, c.error), c.verdict)
            << c.created << " " << c.error;
    }
}

TEST(SupportedWindows, NtFiveAndLaterOnly) {
    const struct {
        unsigned long platform, major;
        bool supported;
    } cases[] = {
        {2, 4, false},                                 // Windows NT 4.0
        {2, 5, true},                                  // Windows 2000, XP
        {2, 6, true},   {2, 10, true}, {1, 4, false},  // Windows 95, 98, Me
        {1, 5, false},  {0, 5, false},                 // Win32s
        {3, 10, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_supported_windows(c.platform, c.major), c.supported)
            << c.platform << "." << c.major;
    }
}

TEST(Pc98Keyboard, JapaneseKeyboardWithTheNecSubtype) {
    const struct {
        int type, subtype;
        bool pc98;
    } cases[] = {
        {7, 0x0D01, true},  {7, 0x0D00, true},
        {7, 0x0D05, true},  {7, 0x0000, false},  // ordinary Japanese 106/109 keyboard
        {7, 0x0002, false}, {7, 0x1D00, false},
        {7, 0x0C00, false}, {4, 0x0D01, false},  // enhanced 101/102-key keyboard
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_pc98_keyboard(c.type, c.subtype), c.pc98) << c.type << " " << c.subtype;
    }
}

TEST(Pc98Keyboard, WarningTextHasItsRulesAndBlankLine) {
    const std::string text = kPc98Warning;
    const std::string rule(39, '=');
    EXPECT_EQ(text.find(rule + "\n"), 0u);
    const auto second = text.find("\n" + rule + "\n\n");
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.rfind("\n\n"), second + 1 + rule.size());
    EXPECT_EQ(text.find("===="), 0u);
    EXPECT_EQ(text.find(rule + "="), std::string::npos);  // rules of exactly 39
}

TEST(Closing, CommandResultAndShutdownFlagChooseTheEnd) {
    using a = closing_action;
    const struct {
        int result, flag;
        closing_action action;
    } cases[] = {
        {0, 0, a::show_not_completed}, {0, 1, a::show_not_completed}, {1, 0, a::show_completed},
        {1, 1, a::run_countdown},      {1, 2, a::show_completed},  // only the value 1 counts as set
        {1, -1, a::show_completed},    {-1, 0, a::show_failed},       {-1, 1, a::show_failed},
        {2, 1, a::show_failed},        {-2, 0, a::show_failed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(closing_for_command_result(c.result, c.flag), c.action)
            << c.result << " " << c.flag;
    }
}

TEST(Closing, CountdownResult) {
    EXPECT_EQ(closing_after_countdown(1), closing_action::power_off);
    EXPECT_EQ(closing_after_countdown(0), closing_action::show_shutdown_cancelled);
    EXPECT_EQ(closing_after_countdown(-1), closing_action::show_shutdown_cancelled);
}

TEST(Closing, EachShownEndHasItsOwnMessageAndTheOthersNone) {
    using a = closing_action;
    std::string seen[4];
    const a shown[] = {a::show_not_completed, a::show_completed, a::show_failed,
                       a::show_shutdown_cancelled};
    for (int i = 0; i < 4; ++i) {
        const stored_text t = closing_message(shown[i]);
        ASSERT_NE(t.bytes, nullptr);
        seen[i] = get_stored_text(t);
        EXPECT_GT(seen[i].size(), 10u);
        for (int j = 0; j < i; ++j) EXPECT_NE(seen[i], seen[j]);
        EXPECT_EQ(seen[i].find('%'), std::string::npos);  // shown without values
    }
    EXPECT_EQ(closing_message(a::run_countdown).bytes, nullptr);
    EXPECT_EQ(closing_message(a::power_off).bytes, nullptr);
}

TEST(StartupTexts, NoPlaceholdersInMessagesShownWithoutValues) {
    for (const stored_text t : {second_copy_message(), unsupported_windows_message()}) {
        const std::string text = get_stored_text(t);
        EXPECT_GT(text.size(), 10u);
        EXPECT_EQ(text.find('%'), std::string::npos);
    }
    const std::string name = get_stored_text(instance_mutex_name());
    EXPECT_GT(name.size(), 8u);
    EXPECT_EQ(name.find('\\'), std::string::npos);  // a plain name in the session namespace
}

}  // namespace
}  // namespace kiroda
