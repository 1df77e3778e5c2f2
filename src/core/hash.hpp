// The one 64-bit mixer of the program (SplitMix64's output function with its
// increment): hash tables take their slots and fingerprints from it, and the
// model test's random simulation draws its words from it.
#ifndef ZEL_CORE_HASH_HPP
#define ZEL_CORE_HASH_HPP

#include <cstdint>

// A bijection of 64-bit words whose every output bit depends on every input
// bit; mix(0), mix(1), ... is SplitMix64's sequence from seed 0.
inline uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The next word of the SplitMix64 sequence whose position `state` holds.
inline uint64_t next_random(uint64_t& state) {
  const uint64_t word = mix(state);
  state += 0x9E3779B97F4A7C15ull;
  return word;
}

#endif
