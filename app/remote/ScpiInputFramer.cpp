#include "app/remote/ScpiInputFramer.h"

#include <utility>

namespace lumatrace {

void ScpiInputFramer::Keep(char c) {
    if (overrun_) {
        return;
    }
    if (current_.size() >= max_) {
        overrun_ = true;
        current_.clear();
        current_.shrink_to_fit();
        return;
    }
    current_ += c;
}

void ScpiInputFramer::EndMessage() {
    if (overrun_) {
        ready_.push_back({true, {}});
    } else if (!current_.empty()) {
        ready_.push_back({false, std::move(current_)});
    }
    current_.clear();
    overrun_ = false;
    state_ = State::kText;
}

void ScpiInputFramer::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (state_ == State::kBlockData) {
            Keep(c);
            if (--blockLeft_ == 0) {
                state_ = State::kText;
            }
            continue;
        }
        // A CR counts as data unless a newline follows it at once.
        if (pendingCr_) {
            pendingCr_ = false;
            if (c != '\n') {
                Keep('\r');
            }
        }
        if (c == '\n') {
            EndMessage();
            continue;
        }
        if (c == '\r') {
            pendingCr_ = true;
            continue;
        }
        Keep(c);
        switch (state_) {
            case State::kText:
                if (c == '"' || c == '\'') {
                    quote_ = c;
                    state_ = State::kString;
                } else if (c == '#') {
                    state_ = State::kHash;
                }
                break;
            case State::kString:
                // A doubled quote closes and reopens: same effect.
                if (c == quote_) {
                    state_ = State::kText;
                }
                break;
            case State::kHash:
                if (c >= '1' && c <= '9') {
                    lengthDigitsLeft_ = c - '0';
                    blockLeft_ = 0;
                    state_ = State::kLengthDigits;
                } else if (c == '"' || c == '\'') {
                    quote_ = c;
                    state_ = State::kString;
                } else {
                    // #0 (runs to the newline), #H/#Q/#B numbers, or junk.
                    state_ = State::kText;
                }
                break;
            case State::kLengthDigits:
                if (c < '0' || c > '9') {
                    // Not a block after all; the parser will say so.
                    state_ = State::kText;
                    break;
                }
                blockLeft_ = blockLeft_ * 10 + static_cast<std::size_t>(c - '0');
                if (--lengthDigitsLeft_ == 0) {
                    state_ = blockLeft_ > 0 ? State::kBlockData : State::kText;
                }
                break;
            case State::kBlockData:
                break;
        }
    }
}

ScpiFramedMessage ScpiInputFramer::TakeMessage() {
    ScpiFramedMessage m = std::move(ready_.front());
    ready_.pop_front();
    return m;
}

}  // namespace lumatrace
