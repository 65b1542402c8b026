// Particle containers: fixed blocks of particle records the scenes fill,
// animate and draw themselves. The engine only allocates them zeroed, guards
// the capacity and releases them; nothing here moves or draws a particle.
//
// Record layout (14 slots of 32 bits, 56 bytes, no padding):
//   slot  0  1  2  3      4  5  6   7   8   9 … 12  13
//         x  y  z  value  -  -  vx  vy  vz  -       birthTime (int32 ms)
// Scenes address records 1 … count; record 0 exists but is not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ParticleRecord {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  float value = 0.0f;
  std::uint32_t unused4 = 0, unused5 = 0;
  float vx = 0.0f, vy = 0.0f, vz = 0.0f;
  std::uint32_t unused9 = 0, unused10 = 0, unused11 = 0, unused12 = 0;
  std::int32_t birthTime = 0;
};
static_assert(sizeof(ParticleRecord) == 56, "a particle record is 14 slots of 32 bits");
static_assert(offsetof(ParticleRecord, vx) == 6 * 4 && offsetof(ParticleRecord, birthTime) == 13 * 4);

class orbParticle {
 public:
  static constexpr std::int32_t maxCount = 5000;
  // Records 0 … maxCount.
  static constexpr std::size_t recordCount = maxCount + 1;

  std::int32_t count = 0;
  // recordCount records after create, empty after dispose.
  std::vector<ParticleRecord> particles;

  // Every record zero. A count above 5000 is fatal ("orbParticle",
  // "Too many Particles initialized"); 5000 is accepted.
  static orbParticle create(std::int32_t count);
  // Releases the records.
  void dispose();

  ParticleRecord& operator[](std::size_t index) { return particles[index]; }
  const ParticleRecord& operator[](std::size_t index) const { return particles[index]; }
};
