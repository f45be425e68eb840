// Response data of the remote interface (IEEE 488.2, chapter 8): numbers,
// strings and definite-length blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// SCPI's stand-ins for values that are not numbers.
inline constexpr double kScpiNotANumber = 9.91e37;
inline constexpr double kScpiInfinity = 9.9e37;

// Integer: "-12".
std::string FormatNr1(std::int64_t value);

// Floating point with an exponent, "5.0E-01", written with the fewest digits
// that read back to exactly the same double, so a client that sets a value
// it has read sets the very same value. NaN is 9.91E+37 and the infinities
// +-9.9E+37, as SCPI prescribes.
std::string FormatNr3(double value);

// String response data: in double quotes, a quote inside doubled. Control
// characters (a newline would end the response early) become spaces.
std::string QuoteScpiString(std::string_view text);

// "#<d><length>": the header of a definite-length block of `length` bytes
// (d is the count of length digits; a zero-length block is "#10").
std::string DefiniteBlockHeader(std::size_t length);
// Appends the header and the bytes.
void AppendDefiniteBlock(std::string& out, std::string_view bytes);

// A response message on its way to the client: text, with the bytes of large
// blocks in memory of their own. A record of megabytes is then written once,
// into memory that is not cleared first, and goes to the socket from there
// together with the text around it in one gather write.
class ScpiResponseMessage {
  public:
    // Appends from this size on get memory of their own.
    static constexpr std::size_t kOwnMemoryBytes = 64 * 1024;

    // The text at the end of the message, to append to.
    std::string& Text();
    // Appends `size` bytes and returns where they go; the caller writes every
    // one of them before the message is read.
    char* AppendForOverwrite(std::size_t size);

    bool empty() const { return size() == 0; }
    // Bytes in the message.
    std::size_t size() const;
    void clear();

    // The bytes in order, in pieces (none empty).
    std::vector<std::span<const char>> Pieces() const;
    // The whole message as one string.
    std::string str() const;

  private:
    struct Piece {
        std::string text;                // a text piece, or
        std::unique_ptr<char[]> memory;  // bytes of their own
        std::size_t memorySize = 0;
    };
    std::vector<Piece> pieces_;
};

}  // namespace lumatrace
