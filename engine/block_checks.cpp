#include "engine/block_checks.h"

#include <new>

namespace kiroda {

block_checks::block_checks(unsigned threads)
    : pool_(threads < kBlocksInCheck ? threads : kBlocksInCheck) {
    for (unsigned i = 0; i < kBlocksInCheck; ++i) {
        std::unique_ptr<slot> s(new (std::nothrow) slot);
        if (s == nullptr || s->chunk.data() == nullptr) break;
        s->block.buffer = s->chunk.data();
        slots_.push_back(std::move(s));
    }
}

block_checks::~block_checks() = default;

// Reads the next block's bytes and hands them to a worker. False after a
// message.
bool block_checks::begin(set_reader& reader) {
    slot& s = at(begun_);
    if (!reader.begin_block(s.block)) return false;
    ++begun_;
    pool_.submit([this, &s, &reader] {
        reader.check(
            s.block,
            [this](std::uint64_t index) {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return next_to_hash_ == index; });
            },
            [this] {
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    ++next_to_hash_;
                }
                changed_.notify_all();
            });
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            s.checked = true;
        }
        changed_.notify_all();
    });
    return true;
}

pending_block* block_checks::next(set_reader& reader) {
    if (begun_ == taken_ && !begin(reader)) return nullptr;
    while (begun_ - taken_ < slots_.size() && reader.may_read_ahead() && begin(reader)) {
    }
    slot& s = at(taken_);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return s.checked; });
    return &s.block;
}

void block_checks::release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    at(taken_).checked = false;
    ++taken_;
}

}  // namespace kiroda
