// For test programs: records every message shown while it lives, and
// answers questions from a script (kIdOk when the script has run out).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ui/message.h"

namespace kiroda::test_support {

struct recorded_message {
    unsigned type;
    std::string caption;
    std::string text;
};

class recording_sink {
  public:
    explicit recording_sink(std::vector<int> answers = {}) : answers_(std::move(answers)) {
        previous_ = set_message_sink([this](const message& m) {
            seen.push_back({m.type, m.caption != nullptr ? m.caption : "", m.text});
            if (answers_.empty()) return kIdOk;
            const int answer = answers_.front();
            answers_.erase(answers_.begin());
            return answer;
        });
    }
    ~recording_sink() { set_message_sink(std::move(previous_)); }
    recording_sink(const recording_sink&) = delete;
    recording_sink& operator=(const recording_sink&) = delete;

    std::vector<recorded_message> seen;

  private:
    std::vector<int> answers_;
    message_sink previous_;
};

}  // namespace kiroda::test_support
