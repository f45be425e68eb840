#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// Writes indented JSON to a stream. Strings are UTF-8; bytes that are not
// valid UTF-8 come out as U+FFFD, so the output is always valid JSON.
class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void BeginObject();
    void EndObject();
    // `compact` keeps the elements on one line (for short arrays of numbers).
    void BeginArray(bool compact = false);
    void EndArray();
    void Key(std::string_view key);

    void String(std::string_view utf8);
    void Number(std::int64_t value);
    // Shortest text that reads back as the same double; JSON has no
    // infinities or NaN, so those are written as the strings "inf", "-inf", "nan".
    void Number(double value);
    void Bool(bool value);
    void Null();

    // The quoted, escaped form of a string.
    static std::string Quote(std::string_view utf8);

  private:
    struct Level {
        bool array;
        bool compact;
        bool empty;
    };
    void BeforeValue();
    void NewLine();

    std::ostream& out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace lumatrace
