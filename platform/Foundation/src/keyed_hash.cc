// SipHash-1-3 (one compression round a block, three to finish) and the
// process's key for it.
#include "keyed_hash.h"

#include <bit>
#include <chrono>
#include <cstring>

#include "os_process.h"

namespace foundation {
namespace {

static_assert(std::endian::native == std::endian::little, "blocks are read as little-endian words");

struct Key {
  uint64_t k0, k1;
};

// Drawn once, on first use. Should the system refuse random bytes, the
// key still differs from process to process: the time, the process id
// and where the loader placed this code.
Key make_key() {
  Key key{};
  if (os::random_bytes(&key, sizeof key)) return key;
  key.k0 = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (static_cast<uint64_t>(os::process_id()) << 32);
  key.k1 = reinterpret_cast<uintptr_t>(&make_key) * 0x9E3779B97F4A7C15ull ^
           static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  return key;
}

const Key& process_key() {
  static const Key key = make_key();
  return key;
}

struct State {
  uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
  void absorb(uint64_t block) {
    v3 ^= block;
    round();
    v0 ^= block;
  }
};

}  // namespace

uint64_t keyed_hash(std::string_view bytes) {
  const Key& key = process_key();
  State s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull, key.k0 ^ 0x6c7967656e657261ull,
          key.k1 ^ 0x7465646279746573ull};
  const char* p = bytes.data();
  size_t whole = bytes.size() & ~size_t{7};
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t block;
    std::memcpy(&block, p + i, 8);
    s.absorb(block);
  }
  uint64_t last = static_cast<uint64_t>(bytes.size()) << 56;
  for (size_t i = whole; i < bytes.size(); ++i)
    last |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * (i - whole));
  s.absorb(last);
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace foundation
