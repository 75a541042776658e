// The properties the fuzz targets check on each input, beyond "no crash, no
// sanitizer report": every failure is one of the converter's own exceptions
// of the expected classes, the decimal mark is restored on every path, and
// where a conversion succeeds its output converts back as documented.
//
// A property that does not hold is reported on standard error and ends the
// process with abort(), which libFuzzer and ctest both count as a failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenlo::fuzz {

// The bytes are a binary form stream (from the signature on).
//   - BinaryFormToText succeeds exactly when the independent reading of
//     stream_model.h says it must, failing only with EReadError, EInvalidOp or
//     EStackOverflow, and leaves the input right behind the root object;
//   - the stream cut anywhere inside the root object fails with "Erreur de
//     lecture du flux" and leaves a prefix of the full text;
//   - when the text is readable (stream_model.h) and has no line the tokenizer
//     refuses, text -> resource form succeeds, its header names the root class
//     upper-cased with the stream's size, and its stream is the canonical one;
//     otherwise it fails with "Ligne trop longue" on the first such line;
//   - the canonical stream converts to text and back to itself (where its
//     floats are stable: a float near the bottom of the range may read back as
//     a neighbour whose text differs).
void CheckBinaryStream(const uint8_t* data, size_t size);

// The bytes are a text form.
//   - text -> resource form either fails with EParserError (its line at most
//     the text's line count), EConvertError or EStackOverflow, leaving nothing
//     in the output, or it writes the header and the stream;
//   - the stream is then valid and goes through every CheckBinaryStream
//     property; when it holds no floats and no wide strings it is canonical
//     itself (the writer always chooses the canonical encodings).
void CheckTextForm(const uint8_t* data, size_t size);

// The bytes are a resource form file.
//   - the header is refused with EInvalidImage unless it starts FF 0A 00 (a
//     missing byte counting as 0);
//   - otherwise the conversion is that of the stream standing 10 + L bytes
//     after the start, L being the length of the name (the bytes from offset 3
//     up to the first 0, at most 262), byte for byte and failure for failure,
//     and that stream goes through every CheckBinaryStream property.
void CheckResourceForm(const uint8_t* data, size_t size);

}  // namespace quenlo::fuzz
