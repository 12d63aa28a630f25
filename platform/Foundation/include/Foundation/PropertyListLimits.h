// The property-list reader's limits, which the writer and the file layer
// share: how deep values may nest, and how large a file of property lists
// (a defaults domain, an information dictionary) may be. Free of other
// headers, so that the platform layer can take it beside the system's.
#pragma once

#include <cstddef>

namespace plist {

inline constexpr int kMaxDepth = 512;
inline constexpr size_t kMaxFileSize = size_t{16} << 20;

}  // namespace plist
