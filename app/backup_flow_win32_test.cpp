#include "app/backup_flow_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/recording_sink_test_support.h"
#include "disk/disk_registry.h"
#include "engine/engine_test_support.h"
#include "app/program_file.h"
#include "engine/verify_engine.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using namespace test_support;

std::string this_program() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

TEST(BackupFlowWin32, TheRunningProgramIsCopiedBesideTheSet) {
    watchdog dog{60s, "backup flow test"};
    temp_folder images, set;
    make_disk_image(images.file("source.img"), 300);
    register_disk_path(0, images.file("source.img"));
    recording_sink sink({kIdOk});
    backup_request r;
    r.source_disk = 0;
    const std::string folder = set.text() + "\\";
    r.folder = folder.c_str();
    EXPECT_EQ(run_backup_with_dialogs(GetModuleHandleA(nullptr), nullptr, r), 1);
    clear_disk_paths();
    EXPECT_EQ(sink.seen.size(), 1u);  // the last question only
    EXPECT_EQ(std::string(program_file_path()), this_program());
    const std::string folder_of_program = this_program().substr(0, this_program().rfind('\\') + 1);
    EXPECT_EQ(std::string(program_folder()), folder_of_program);
    EXPECT_TRUE(same_file(set.file("KIRODA.EXE"), this_program()));
    recording_progress p;
    EXPECT_EQ(verify_backup_set(p, set.text().c_str(), 300 * 512), kEngineDone);
}

}  // namespace
}  // namespace kiroda
