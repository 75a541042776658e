#include "cli/command_line.h"

namespace quenlo {
namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

}  // namespace

std::string NextArgument(std::string_view line, size_t& position) {
  size_t i = position;
  for (;;) {
    while (i < line.size() && IsBlank(static_cast<unsigned char>(line[i]))) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
      continue;
    }
    break;
  }
  std::string item;
  while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) {
    if (line[i] != '"') {
      item += line[i++];
      continue;
    }
    ++i;
    while (i < line.size() && line[i] != '"') item += line[i++];
    if (i < line.size()) ++i;
  }
  position = i;
  return item;
}

int32_t ArgumentCount(std::string_view line) {
  size_t position = 0;
  NextArgument(line, position);
  int32_t count = 0;
  while (!NextArgument(line, position).empty()) ++count;
  return count;
}

std::string ArgumentAt(std::string_view line, int32_t n) {
  size_t position = 0;
  NextArgument(line, position);
  std::string item;
  for (int32_t i = 0; i < n; ++i) {
    item = NextArgument(line, position);
    if (item.empty()) break;
  }
  return item;
}

}  // namespace quenlo
