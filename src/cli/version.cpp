#include "cli/version.h"

namespace quenlo {

std::vector<std::string> VersionLines() {
  return {std::string(kProductName) + " " + kFileVersion, kFileDescription};
}

std::vector<std::string> UsageLines() {
  return {
      "Usage : quenlo FICHIER",
      "  FICHIER.DFM (toute casse) devient FICHIER.TXT ; tout autre fichier devient FICHIER.DFM.",
      std::string("  ") + kComments};
}

}  // namespace quenlo
