#include "round_trip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/resource_form.h"
#include "numtext/format.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "stream_model.h"
#include "totext/binary_to_text.h"

namespace quenlo::fuzz {
namespace {

// A decimal mark no conversion may leave behind: each sets "." for its
// duration and must put this one back on every path.
constexpr char kCallerMark = ',';

struct Outcome {
  bool ok = false;
  std::string failure;  // "<class>: <message>" when !ok
  std::string output;
  int64_t input_position = 0;

  bool FailedWith(std::string_view class_name) const {
    return !ok && failure.compare(0, class_name.size() + 2, std::string(class_name) + ": ") == 0;
  }
};

[[noreturn]] void Violated(const std::string& what) {
  std::fprintf(stderr, "\n*** property violated: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void Require(bool holds, const std::string& what) {
  if (!holds) Violated(what);
}

std::string Shown(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 160; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      out += code;
    }
  }
  if (bytes.size() > 160) out += "...";
  return out;
}

// Where two results part, with some context.
std::string Difference(const std::string& actual, const std::string& expected) {
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const size_t from = at > 40 ? at - 40 : 0;
  return "they part at byte " + std::to_string(at) + " of " + std::to_string(expected.size()) +
         " (got " + std::to_string(actual.size()) +
         ")\n  got:      " + Shown(actual.substr(from, 120)) +
         "\n  expected: " + Shown(expected.substr(from, 120));
}

// One conversion between memory streams, with the failure it raised.
template <class Conversion>
Outcome Run(Conversion conversion, const void* data, size_t size) {
  TMemoryStream input;
  TMemoryStream output;
  input.WriteAll(data, static_cast<int32_t>(size));
  input.SetPosition(0);
  Outcome outcome;
  DecimalMark = kCallerMark;
  try {
    conversion(input, output);
    outcome.ok = true;
  } catch (const Exception& failure) {
    outcome.failure = std::string(failure.ClassName()) + ": " + failure.Message();
  }
  Require(DecimalMark == kCallerMark, "the decimal mark was not restored");
  outcome.output.assign(reinterpret_cast<const char*>(output.Memory()),
                        static_cast<size_t>(output.DataSize()));
  outcome.input_position = input.Position();
  return outcome;
}

Outcome ToText(const void* data, size_t size) { return Run(BinaryFormToText, data, size); }
Outcome ToText(const std::string& stream) { return ToText(stream.data(), stream.size()); }
Outcome ToResourceForm(const std::string& text) {
  return Run(TextToResourceForm, text.data(), text.size());
}

// The header text -> resource form must put before the stream.
std::string HeaderFor(const std::string& class_name, size_t stream_size) {
  std::string header = "\xFF\x0A";
  header += '\0';
  for (char c : class_name) header += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  header += '\0';
  header += "\x30\x10";
  for (int i = 0; i < 4; ++i) header += static_cast<char>((stream_size >> (8 * i)) & 0xFF);
  return header;
}

// The stream of a resource form written by the converter, its header checked.
std::string StreamOf(const std::string& resource_form) {
  const size_t name_end = resource_form.find('\0', 3);
  Require(name_end != std::string::npos && resource_form.size() >= name_end + 7,
          "resource form shorter than its header: " + Shown(resource_form));
  const std::string stream = resource_form.substr(name_end + 7);
  // The model finds the root class behind the signature without trusting the header.
  const StreamVerdict verdict =
      JudgeStream(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  Require(verdict.valid,
          "the written stream does not read back (" + verdict.why + "): " + Shown(stream));
  const std::string header = HeaderFor(verdict.root_class, stream.size());
  Require(resource_form.compare(0, header.size(), header) == 0,
          "wrong resource header " + Shown(resource_form.substr(0, header.size())) + ", expected " +
              Shown(header));
  return stream;
}

bool IsOneOf(const Outcome& outcome, std::initializer_list<std::string_view> classes) {
  return std::any_of(classes.begin(), classes.end(),
                     [&](std::string_view name) { return outcome.FailedWith(name); });
}

// Every property of a binary form stream; returns the outcome of its text.
Outcome CheckStream(const std::string& stream) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
  const StreamVerdict verdict = JudgeStream(bytes, stream.size());
  Require(verdict.unreadable_float.empty(),
          "a float is written as " + verdict.unreadable_float + ", which does not read back");

  const Outcome text = ToText(stream);
  if (!text.ok) {
    Require(!verdict.valid, "a valid stream fails with " + text.failure + ": " + Shown(stream));
    Require(IsOneOf(text, {"EReadError", "EInvalidOp", "EStackOverflow"}),
            "unexpected failure " + text.failure);
    return text;
  }
  Require(verdict.valid, "an invalid stream (" + verdict.why + ") converts: " + Shown(stream) +
                             " -> " + Shown(text.output));
  Require(text.input_position == static_cast<int64_t>(verdict.consumed),
          "the input stands at " + std::to_string(text.input_position) +
              ", not behind the root object at " + std::to_string(verdict.consumed));

  // A cut inside the root object fails and leaves a prefix of the full text.
  const size_t cut = std::hash<std::string>()(stream) % verdict.consumed;
  const Outcome partial = ToText(stream.data(), cut);
  Require(partial.failure == "EReadError: Erreur de lecture du flux",
          "a stream cut at " + std::to_string(cut) + " gives " +
              (partial.ok ? "success" : partial.failure));
  Require(text.output.compare(0, partial.output.size(), partial.output) == 0,
          "a stream cut at " + std::to_string(cut) +
              " leaves text that is not a prefix of the full text");

  const Outcome form = ToResourceForm(text.output);
  if (!verdict.readable_text) {
    // Only failures of the expected kinds; what comes back is not specified.
    if (!form.ok) {
      Require(IsOneOf(form, {"EParserError", "EConvertError"}),
              "unexpected failure " + form.failure);
    }
    return text;
  }
  if (const int32_t line = FirstTooLongLine(text.output); line != 0) {
    Require(
        form.failure == "EParserError: Ligne trop longue \xC3\xA0 la ligne " + std::to_string(line),
        "a text with line " + std::to_string(line) + " too long gives " +
            (form.ok ? "success" : form.failure));
    return text;
  }
  Require(form.ok,
          "the text of a readable stream fails with " + form.failure + ":\n" + Shown(text.output));
  const std::string canonical(verdict.canonical.begin(), verdict.canonical.end());
  const std::string back = StreamOf(form.output);
  Require(back == canonical,
          "text -> binary does not give the canonical stream: " + Difference(back, canonical) +
              "\nfor the text\n" + Shown(text.output));

  const Outcome again = ToText(back);
  Require(again.ok, "the canonical stream fails with " + again.failure);
  if (!verdict.stable_floats || FirstTooLongLine(again.output) != 0) return text;
  const Outcome form_again = ToResourceForm(again.output);
  Require(form_again.ok, "the text of the canonical stream fails with " + form_again.failure);
  const std::string back_again = StreamOf(form_again.output);
  Require(back_again == back,
          "the canonical stream does not come back from its text: " + Difference(back_again, back));
  return text;
}

}  // namespace

void CheckBinaryStream(const uint8_t* data, size_t size) {
  CheckStream(std::string(reinterpret_cast<const char*>(data), size));
}

void CheckTextForm(const uint8_t* data, size_t size) {
  const Outcome form = Run(TextToResourceForm, data, size);
  if (!form.ok) {
    Require(IsOneOf(form, {"EParserError", "EConvertError", "EStackOverflow"}),
            "unexpected failure " + form.failure);
    Require(form.output.empty(), "a failed text conversion left bytes in the output");
    if (form.FailedWith("EParserError")) {
      const size_t at = form.failure.rfind(' ');
      const long line = std::strtol(form.failure.c_str() + at + 1, nullptr, 10);
      const auto lines = std::count(data, data + size, '\n') + 1;
      Require(line >= 1 && line <= lines, "a syntax error on line " + std::to_string(line) +
                                              " of " + std::to_string(lines) + ": " + form.failure);
    }
    return;
  }
  const std::string stream = StreamOf(form.output);
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
  const StreamVerdict verdict = JudgeStream(bytes, stream.size());
  Require(verdict.consumed == stream.size(), "bytes after the root object of a written stream");
  if (verdict.readable_text && !verdict.has_floats_or_wide) {
    const std::string canonical(verdict.canonical.begin(), verdict.canonical.end());
    Require(stream == canonical,
            "the written stream is not canonical: " + Difference(stream, canonical));
  }
  CheckStream(stream);
}

void CheckResourceForm(const uint8_t* data, size_t size) {
  const Outcome outcome = Run(ResourceFormToText, data, size);
  // The header is read into a zeroed area: missing bytes count as 0.
  auto at = [&](size_t i) -> uint8_t { return i < size ? data[i] : 0; };
  if (at(0) != 0xFF || at(1) != 0x0A || at(2) != 0x00) {
    Require(outcome.failure == "EInvalidImage: Format de flux incorrect",
            "a header not starting FF 0A 00 gives " + (outcome.ok ? "success" : outcome.failure));
    Require(outcome.output.empty(), "a refused header left text behind");
    return;
  }
  // The name is looked for within the first 265 bytes; the byte after them
  // always ends it.
  const size_t probe = std::min<size_t>(size, 265);
  size_t name_length = 0;
  while (3 + name_length < probe && data[3 + name_length] != 0) ++name_length;
  const size_t stream_start = std::min(size, name_length + 10);
  const std::string stream(reinterpret_cast<const char*>(data) + stream_start, size - stream_start);
  const Outcome text = CheckStream(stream);
  Require(outcome.ok == text.ok && outcome.failure == text.failure && outcome.output == text.output,
          "the resource form converts unlike its stream: " +
              (outcome.ok ? "success" : outcome.failure) + " against " +
              (text.ok ? "success" : text.failure));
  if (outcome.ok) {
    Require(outcome.input_position == static_cast<int64_t>(stream_start) + text.input_position,
            "the input stands at " + std::to_string(outcome.input_position));
  }
}

}  // namespace quenlo::fuzz
