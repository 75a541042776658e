#include "cli/names.h"

namespace quenlo {
namespace {

constexpr size_t kMaxNamePart = 255;

bool IsDelimiter(char c) { return c == '\\' || c == ':' || c == '/'; }

// Index just after the last delimiter (0 when there is none).
size_t NameStart(std::string_view name) {
  size_t i = name.size();
  while (i > 0 && !IsDelimiter(name[i - 1])) --i;
  return i;
}

}  // namespace

std::string PathPart(std::string_view name) { return std::string(name.substr(0, NameStart(name))); }

std::string NamePart(std::string_view name) {
  return std::string(name.substr(NameStart(name), kMaxNamePart));
}

std::string ExtensionPart(std::string_view name) {
  size_t i = name.size();
  while (i > 0 && name[i - 1] != '.' && !IsDelimiter(name[i - 1])) --i;
  if (i == 0 || name[i - 1] != '.') return {};
  return std::string(name.substr(i - 1, kMaxNamePart));
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string DeriveOutputName(std::string_view argument, std::string_view new_extension) {
  std::string name = NamePart(argument);
  auto base_length = static_cast<std::ptrdiff_t>(name.size()) -
                     static_cast<std::ptrdiff_t>(ExtensionPart(argument).size());
  std::string base = base_length > 0 ? name.substr(0, static_cast<size_t>(base_length)) : "";
  return PathPart(argument) + base + std::string(new_extension);
}

}  // namespace quenlo
