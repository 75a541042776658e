// The program's version information, as the Windows version resource carries it.
#pragma once

#include <string>
#include <vector>

namespace quenlo {

inline constexpr const char* kProductName = "Marvessa";
inline constexpr const char* kFileVersion = "00.00.00.03";
inline constexpr const char* kProductVersion = "00.00.00.00";
inline constexpr const char* kFileDescription =
    "Bidirectional Translator between TXT and DFM file formats.";
inline constexpr const char* kComments = "Optional parameter is the input fileName to translate.";
inline constexpr const char* kOriginalFilename = "Quenlo.exe";

std::vector<std::string> VersionLines();
std::vector<std::string> UsageLines();

}  // namespace quenlo
