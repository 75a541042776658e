// Writes the seed corpora of the fuzz targets from the project's own forms:
//   quenlo_fuzz_seeds EXAMPLES OUT COUNT
// OUT/binary_to_text gets the streams of the example .DFM files and COUNT
// generated streams, OUT/resource_form the example .DFM files and the
// generated streams with their header, OUT/text_to_binary the example texts,
// COUNT generated texts and the text of each generated stream.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/resource_form.h"
#include "form_generator.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "totext/binary_to_text.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string Contents(const quenlo::TMemoryStream& stream, int32_t from = 0) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()) + from,
                     static_cast<size_t>(stream.DataSize() - from));
}

// The stream behind a resource header, as the converter finds it.
std::string StreamOf(const std::string& resource_form) {
  quenlo::TMemoryStream in;
  in.WriteAll(resource_form.data(), static_cast<int32_t>(resource_form.size()));
  in.SetPosition(0);
  quenlo::SkipResourceHeader(in);
  const int32_t at = in.Position();
  return at <= in.DataSize() ? Contents(in, at) : std::string();
}

// The text of a stream, or nothing when the stream is refused.
std::string TextOf(const std::string& stream) {
  quenlo::TMemoryStream in;
  quenlo::TMemoryStream out;
  in.WriteAll(stream.data(), static_cast<int32_t>(stream.size()));
  in.SetPosition(0);
  try {
    quenlo::BinaryFormToText(in, out);
  } catch (const quenlo::Exception&) {
    return {};
  }
  return Contents(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quenlo_fuzz_seeds EXAMPLES OUT COUNT\n");
    return 2;
  }
  const fs::path examples(argv[1]);
  const fs::path out(argv[2]);
  const long count = std::strtol(argv[3], nullptr, 10);
  const fs::path binary = out / "binary_to_text";
  const fs::path text = out / "text_to_binary";
  const fs::path resource = out / "resource_form";
  for (const fs::path& folder : {binary, text, resource}) {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
    const std::string name = entry.path().filename().string();
    const std::string bytes = ReadFile(entry.path());
    std::string extension = entry.path().extension().string();
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (extension == ".DFM") {
      WriteFile(resource / name, bytes);
      WriteFile(binary / (name + ".stream"), StreamOf(bytes));
    } else {
      WriteFile(text / name, bytes);
    }
  }
  for (long i = 0; i < count; ++i) {
    const std::string id = std::to_string(i);
    const std::string stream = quenlo::fuzz::GenerateBinaryStream(static_cast<uint64_t>(i));
    WriteFile(binary / ("gen-" + id), stream);
    WriteFile(resource / ("gen-" + id + ".dfm"), quenlo::fuzz::WrapInResourceHeader(stream));
    WriteFile(text / ("gen-" + id + ".txt"),
              quenlo::fuzz::GenerateTextForm(static_cast<uint64_t>(i)));
    if (const std::string rendered = TextOf(stream); !rendered.empty()) {
      WriteFile(text / ("gen-" + id + "-rendered.txt"), rendered);
    }
  }
  std::printf("seeds written to %s\n", out.string().c_str());
  return 0;
}
