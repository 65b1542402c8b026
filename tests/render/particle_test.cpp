#include <gtest/gtest.h>

#include "engine/particle.h"
#include "tests/render/render_test_support.h"

TEST(Particle, CreateGivesZeroedRecordsZeroToMax) {
  orbParticle container = orbParticle::create(200);
  EXPECT_EQ(container.count, 200);
  ASSERT_EQ(container.particles.size(), 5001u);
  for (const ParticleRecord& record : container.particles) {
    EXPECT_EQ(record.x, 0.0f);
    EXPECT_EQ(record.vz, 0.0f);
    EXPECT_EQ(record.birthTime, 0);
  }
  // Record 5000 is writable whatever the count.
  container[5000].birthTime = -7;
  container[1].value = 0.5f;
  EXPECT_EQ(container.particles[5000].birthTime, -7);
  container.dispose();
  EXPECT_TRUE(container.particles.empty());
  EXPECT_EQ(container.count, 0);
}

TEST(Particle, FiveThousandIsAccepted) { EXPECT_EQ(orbParticle::create(5000).count, 5000); }

TEST(Particle, AboveFiveThousandIsFatal) {
  std::remove("error.txt");
  EXPECT_EXIT(orbParticle::create(5001), ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(rendertest::readTextFile("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbParticle\r\n"
            "Too many Particles initialized\r\n");
}
