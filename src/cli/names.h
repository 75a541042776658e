// File name parts and the output name derived from the input name.
// Delimiters are "\", ":" and "/" (the last so that "my.dir/Box" stays in its folder).
#pragma once

#include <string>
#include <string_view>

namespace quenlo {

// Everything up to and including the last delimiter; empty when there is none.
std::string PathPart(std::string_view name);
// Everything after the last delimiter, cut to its first 255 characters.
std::string NamePart(std::string_view name);
// From the last "." after the last delimiter to the end (cut to 255), or empty.
std::string ExtensionPart(std::string_view name);
// a to z become A to Z; every other byte stays.
std::string AsciiUpper(std::string_view text);
// PathPart + the name without its extension + new_extension: "c:\work\Box.dfm" ->
// "c:\work\Box.TXT".
std::string DeriveOutputName(std::string_view argument, std::string_view new_extension);

}  // namespace quenlo
