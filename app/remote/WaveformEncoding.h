// The data formats of :WAVeform:DATA? and :WAVeform:PREamble?.
//
//   WORD   two bytes per sample, little-endian, the code 0..1023; a missing
//          sample is 0xFFFF.
//   BYTE   one byte per sample, the code divided by 4 (the two low bits
//          dropped); 255 marks a missing sample, so the top codes 1020..1023
//          (above the screen) read as 254.
//   ASCii  the samples in volts, NR3, separated by commas; a missing sample
//          is the word nan.
//
// In every format the response is one definite-length block, #<d><n><bytes>.
// The preamble gives what turns samples into time and volts:
//   <format>,<points>,<x increment>,<x origin>,<y increment>,<y origin>,<y reference>
//   format 0 BYTE, 1 WORD, 2 ASCii; t = x origin + i x x increment (seconds,
//   relative to the trigger); V = (sample - y origin) x y increment; y
//   reference is the sample value at the centre of the screen. For BYTE the
//   y values are those of the divided codes; for ASCii those of the codes
//   the volts came from.
#pragma once

#include <string>

#include "app/remote/RemoteInstrument.h"
#include "app/remote/ScpiResponse.h"

namespace lumatrace {

enum class RemoteWaveFormat { kByte = 0, kWord = 1, kAscii = 2 };

// Appends the whole definite-length block, header and bytes.
void AppendWaveformBlock(ScpiResponseMessage& out, const RemoteRecord& record,
                         RemoteWaveFormat format);

// The preamble's response data.
std::string FormatPreamble(const RemoteRecord& record, RemoteWaveFormat format);

}  // namespace lumatrace
