// Cuts a client's byte stream into program messages.
//
// A message ends at a newline (a CR just before it is dropped). Two things
// are not what they look like, so the framer lexes as it goes:
//   - a definite-length block (#<d><length><bytes>) may hold newlines and
//     anything else: its bytes are counted off, never read as commands, even
//     while an overlong message is being thrown away;
//   - inside a quoted string '#' does not start a block.
// A message longer than the limit is not kept: the framer discards it up to
// its end and reports an overrun in its place, and the stream goes on with
// the next message.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace lumatrace {

struct ScpiFramedMessage {
    bool overrun = false;  // the message was longer than the limit and is lost
    std::string text;      // without the newline; empty when overrun
};

class ScpiInputFramer {
  public:
    explicit ScpiInputFramer(std::size_t maxMessageBytes) : max_(maxMessageBytes) {}

    // Takes bytes in any slicing; complete messages queue up in order.
    // Empty messages (blank lines) are dropped.
    void Feed(std::string_view bytes);

    bool HasMessage() const { return !ready_.empty(); }
    ScpiFramedMessage TakeMessage();
    std::size_t QueuedMessages() const { return ready_.size(); }

  private:
    enum class State {
        kText,
        kString,        // inside quotes_
        kHash,          // after '#'
        kLengthDigits,  // reading the block's length digits
        kBlockData,     // counting off the block's bytes
    };
    void Keep(char c);
    void EndMessage();

    std::size_t max_;
    std::deque<ScpiFramedMessage> ready_;
    std::string current_;
    bool overrun_ = false;
    State state_ = State::kText;
    char quote_ = 0;
    int lengthDigitsLeft_ = 0;
    std::size_t blockLeft_ = 0;
    bool pendingCr_ = false;  // a CR held back in case a newline follows
};

}  // namespace lumatrace
