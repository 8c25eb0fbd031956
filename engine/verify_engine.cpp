#include "engine/verify_engine.h"

#include <memory>
#include <new>

#include "ui/program.h"
#include "engine/data_file.h"
#include "engine/set_reader.h"

namespace kiroda {

namespace {

const set_reader_texts kVerifyTexts = {
    [] { return "バックアップファィルが見つかりません。\n[%s]の入ったメディアと交換して下さい。"; },
    [] { return "バックアップファィル読込エラー。\n　　\"%s\"\nMeltReadSize = %ld"; },
    [] { return "バックアップファィルを読めません。\n　　\"%s\""; },
};

}  // namespace

int verify_backup_set(progress& p, const char* folder, std::uint64_t backup_bytes) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunkBytes]);
    if (buffer == nullptr) {
        show_message(p.owner(), kMbOk, program_caption(), kVerifyTexts.bad_block(), folder, -5L);
        return kEngineFailed;
    }
    p.set_button("キャンセル");
    p.set_status("データテスト中");
    set_reader reader(p, folder, kVerifyTexts);
    std::uint64_t tested = 0;
    while (tested < backup_bytes) {
        char line[96];
        format_bytes_left(line, sizeof line, backup_bytes - tested);
        p.set_detail(line);
        p.set_bytes_left(backup_bytes - tested);
        if (!p.running()) return kEngineStopped;
        const std::int64_t count = reader.next_block(buffer.get());
        if (count < 0) return kEngineFailed;
        tested += static_cast<std::uint64_t>(count);
        if (!p.running()) return kEngineStopped;
    }
    p.set_status("テスト完了");
    p.set_detail("");
    return kEngineDone;
}

}  // namespace kiroda
