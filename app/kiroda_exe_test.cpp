// Tests of the built KIRODA.EXE itself (built beside this test program).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/countdown.h"
#include "ui/dialog_script_win32_test_support.h"
#include "app/startup.h"
#include "app/startup_texts.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using namespace test_support;

std::string kiroda_exe() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string own(path, n < sizeof path ? n : 0);
    return own.substr(0, own.find_last_of('\\') + 1) + "KIRODA.EXE";
}

// Compares bytes, not chars: a signed char never equals a Shift-JIS byte
// above 0x7F read as unsigned, and the search would find nothing at all.
bool contains(const std::vector<unsigned char>& image, const std::string& needle) {
    const std::vector<unsigned char> bytes(needle.begin(), needle.end());
    return std::search(image.begin(), image.end(), bytes.begin(), bytes.end()) != image.end();
}

TEST(KirodaExe, HoldsNoStoredTextInPlainForm) {
    const std::vector<unsigned char> image = read_file(kiroda_exe());
    ASSERT_GT(image.size(), 100000u) << kiroda_exe();
    // A plain text of the program is there in Shift-JIS, so the search works.
    EXPECT_TRUE(contains(image, kCountdownHeadline));
    // The needles are deciphered at run time: this program holds no plain copy either.
    for (const stored_text t :
         {stored_text(startup_texts::kSecondCopy), stored_text(startup_texts::kUnsupportedWindows),
          stored_text(startup_texts::kNotCompleted), stored_text(startup_texts::kCompleted),
          stored_text(startup_texts::kShutdownCancelled), stored_text(startup_texts::kFailed),
          stored_text(startup_texts::kMutexName)}) {
        const std::string plain = get_stored_text(t);
        ASSERT_GT(plain.size(), 10u);
        EXPECT_FALSE(contains(image, plain)) << plain;
        // Nor a long piece of it (the first line of a message).
        const std::string head = plain.substr(0, std::min<std::size_t>(plain.find('\n'), 16));
        EXPECT_FALSE(contains(image, head)) << head;
    }
}

TEST(KirodaExe, HoldsTheWizardsStoredTextsEnciphered) {
    const std::vector<unsigned char> image = read_file(kiroda_exe());
    // The plain texts of the restore checks are there...
    EXPECT_TRUE(contains(image, "本プログラムは、５１２Ｂのみに対応です。"));
    EXPECT_TRUE(contains(image, "ＧＰＴには対応していません。"));
    // ...but no stored one: the confirmations, the refusals, the source
    // disk dialog's template name.
    for (const char* piece : {"復旧先ディスクの内容はすべて失われます。", "よろしいですか?",
                              "バックアップ先のフォルダ名が長すぎます。",
                              "バックアップ先のフォルダが元ディスク上にあります。", "KRMOTO"}) {
        EXPECT_FALSE(contains(image, piece)) << piece;
    }
}

// A started KIRODA.EXE, ended on every path of the test.
class kiroda_process {
  public:
    kiroda_process() {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string command;
        command += '"';
        command += kiroda_exe();
        command += '"';
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &info_) != 0;
    }
    ~kiroda_process() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool started() const { return started_; }
    DWORD id() const { return info_.dwProcessId; }
    // The exit code, or STILL_ACTIVE after the timeout.
    DWORD wait(DWORD ms) {
        WaitForSingleObject(info_.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

struct top_search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK consider_top(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<top_search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (process != s->process || std::string(class_name) != "#32770" || !IsWindowVisible(window)) {
        return TRUE;
    }
    s->found = window;
    return FALSE;
}

// A visible dialog or message box of another process. A new process under
// Wine on a busy machine (the other presets building beside the tests) may
// take many seconds to show its first window.
HWND wait_for_window_of(DWORD process, HWND not_this = nullptr) {
    for (int i = 0; i < 6000; ++i) {
        top_search s{process, nullptr};
        EnumWindows(consider_top, reinterpret_cast<LPARAM>(&s));
        if (s.found != nullptr && s.found != not_this && IsWindow(s.found)) return s.found;
        Sleep(10);
    }
    return nullptr;
}

TEST(KirodaExe, ASecondCopyShowsItsMessageAndExitsWithZero) {
    watchdog dog(180s, "KIRODA.EXE second copy");
    HANDLE first = CreateMutexA(nullptr, FALSE, get_stored_text(instance_mutex_name()));
    ASSERT_NE(first, nullptr);
    kiroda_process second;
    ASSERT_TRUE(second.started());
    HWND box = wait_for_window_of(second.id());
    ASSERT_NE(box, nullptr);
    const std::string text = item_text(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.wait(30000), 0u);
    CloseHandle(first);
    EXPECT_EQ(text, get_stored_text(second_copy_message()));
}

TEST(KirodaExe, ExitFromTheCommandDialogEndsWithItsMessageAndZero) {
    watchdog dog(180s, "KIRODA.EXE exit");
    kiroda_process program;
    ASSERT_TRUE(program.started());
    HWND command = wait_for_window_of(program.id());
    ASSERT_NE(command, nullptr);
    PostMessageA(command, WM_COMMAND, IDCANCEL, 0);
    HWND box = wait_for_window_of(program.id(), command);
    ASSERT_NE(box, nullptr);
    const std::string text = item_text(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.wait(30000), 0u);
    EXPECT_EQ(text, get_stored_text(closing_message(closing_action::show_not_completed)));
}

}  // namespace
}  // namespace kiroda
