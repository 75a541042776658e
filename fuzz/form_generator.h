// Random forms for seed corpora and property tests: one random component tree
// per seed, written as a binary form stream or as a text form. Both writers
// vary what the formats leave open, so that the seeds reach the converters'
// less common paths:
//   binary: wider integers than needed, tgLongString and tgUtf8String for short
//           texts, prefix bytes without flags or with the ignored bits, child
//           positions of 0 and below, item indexes of -1, identifiers TRUE and
//           nil in any case, negative binary lengths, every special float;
//   text:   keywords in any letter case, blanks and line breaks between
//           tokens, "$" integers, float literals of every shape, strings in
//           quoted runs, "#" codes (wide ones too) and "+" continuations, a
//           byte-order mark with UTF-8 strings, dotted names with blanks
//           around the dots, hex blocks over several lines.
// The same seed gives the same bytes on every machine.
#pragma once

#include <cstdint>
#include <string>

namespace quenlo::fuzz {

std::string GenerateBinaryStream(uint64_t seed);
std::string GenerateTextForm(uint64_t seed);

// A resource form file around a stream, as the converter writes it.
std::string WrapInResourceHeader(const std::string& stream);

}  // namespace quenlo::fuzz
