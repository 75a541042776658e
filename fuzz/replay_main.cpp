// Replays inputs through a fuzz target without libFuzzer, so that the seed
// corpus and the inputs of fixed crashes run as ordinary tests in every build.
//   fuzz_<target> PATH...   each PATH a file or a folder of files; an absent
//                           PATH is skipped with a note.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

void Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // Named first, so that a failing input is known even after an abort.
  std::fprintf(stderr, "%s\n", file.string().c_str());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path path(argv[i]);
    std::vector<fs::path> files;
    if (fs::is_directory(path)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(path)) {
      files.push_back(path);
    } else {
      std::printf("skipped, not present: %s\n", argv[i]);
    }
    for (const fs::path& file : files) Replay(file);
    replayed += files.size();
  }
  std::printf("%zu inputs replayed\n", replayed);
  return 0;
}
