#include "engine/particle.h"

#include "engine/log.h"

orbParticle orbParticle::create(std::int32_t count) {
  orbParticle container;
  container.particles.assign(recordCount, ParticleRecord{});
  if (count > maxCount) fatalError("orbParticle", "Too many Particles initialized");
  container.count = count;
  return container;
}

void orbParticle::dispose() {
  count = 0;
  std::vector<ParticleRecord>().swap(particles);
}
