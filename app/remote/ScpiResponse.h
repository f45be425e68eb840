// Response data of the remote interface (IEEE 488.2, chapter 8): numbers,
// strings and definite-length blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace lumatrace
