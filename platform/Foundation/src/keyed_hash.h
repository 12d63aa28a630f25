// The hash of text that Foundation's hashed tables use (NSString's -hash,
// and so NSDictionary; the property-list dictionary): SipHash-1-3 under a
// 128-bit key drawn from the system's random source once per process.
// Whoever writes a file this process reads cannot know the key, so cannot
// choose keys that share a hash and turn every look-up into a scan. Equal
// bytes hash equal within a process, never across processes.
#pragma once

#include <cstdint>
#include <string_view>

namespace foundation {

uint64_t keyed_hash(std::string_view bytes);

}  // namespace foundation
