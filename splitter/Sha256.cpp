#include "splitter/Sha256.h"

namespace mt::splitter {

std::string Sha256Hex(const std::string& data) {
  Sha256 h;
  h.Update(data.data(), data.size());
  return h.FinishHex();
}

}  // namespace mt::splitter
