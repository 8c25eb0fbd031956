#include "engine/block_checks.h"

#include <new>

namespace kiroda {

block_checks::block_checks(unsigned threads, unsigned slots)
    : pool_(threads < slots ? threads : slots) {
    for (unsigned i = 0; i < slots; ++i) {
        std::unique_ptr<slot> s(new (std::nothrow) slot);
        if (s == nullptr || s->chunk.data() == nullptr) break;
        s->block.buffer = s->chunk.data();
        slots_.push_back(std::move(s));
    }
}

block_checks::~block_checks() = default;

block_checks::slot* block_checks::free_slot() const {
    for (const auto& s : slots_) {
        if (!s->busy) return s.get();
    }
    return nullptr;
}

unsigned char* block_checks::idle_buffer() const {
    const slot* s = free_slot();
    return s == nullptr ? nullptr : s->chunk.data();
}

// Reads the next block's bytes into `s` and hands them to a worker. False
// after a message.
bool block_checks::begin(set_reader& reader, slot& s) {
    if (!reader.begin_block(s.block)) return false;
    s.busy = true;
    begun_.push_back(&s);
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
    if (begun_.empty()) {
        slot* s = free_slot();
        if (s == nullptr || !begin(reader, *s)) return nullptr;
    }
    for (slot* s = free_slot(); s != nullptr && reader.may_read_ahead() && begin(reader, *s);
         s = free_slot()) {
    }
    slot& s = *begun_.front();
    begun_.pop_front();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return s.checked; });
    return &s.block;
}

void block_checks::release(pending_block* block) {
    for (const auto& s : slots_) {
        if (&s->block != block) continue;
        const std::lock_guard<std::mutex> lock(mutex_);
        s->checked = false;
        s->busy = false;
    }
}

}  // namespace kiroda
