// Timelines: creation, placing (enter window, last writer wins), dispatch
// order across timelines, empty slots, the activeScene marker contract, and
// a frame's dispatch without allocation.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "engine/state.h"
#include "engine/timeline.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

std::atomic<long> allocations{0};

std::string calls;

template <char kind, char id>
void record() {
  calls += kind;
  calls += id;
}

// A scene that follows the set-up guard of the scene contract.
constexpr std::int32_t guardedMarker = 7;
int setUps = 0;
void guardedEnter() {
  orbTimeline* timeline = timelineEntry(1);
  if (timeline->activeScene == guardedMarker) return;
  timeline->activeScene = guardedMarker;
  ++setUps;
}
void nothing() {}

class Timeline : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    setUps = 0;
    currentTime = 0;
  }
  void TearDown() override {
    for (int id = 1; id <= timelineTableSize; ++id) setTimelineEntry(id, nullptr);
    for (int index = 1; index <= sceneTableSize; ++index) setSceneEntry(index, nullptr);
  }
};

std::string frameAt(std::int32_t t) {
  calls.clear();
  currentTime = t;
  timelineRender();
  calls += '|';
  timelineUpdate();
  return calls;
}

}  // namespace

// The replaced global operators pair malloc with free; GCC cannot see that
// at -O1 and warns about a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

TEST_F(Timeline, CreationFillsZeroToLengthWithANoOpAndLeavesTheRestEmpty) {
  auto timeline = orbTimeline::create("T", 1000);
  EXPECT_EQ(timeline->name(), "T");
  EXPECT_EQ(timeline->length(), 1000);
  EXPECT_EQ(timeline->activeScene, 0);
  const SceneProc noOp = timeline->renderSlot(0);
  ASSERT_NE(noOp, nullptr);
  for (std::int32_t t : {0, 1, 999, 1000}) {
    EXPECT_EQ(timeline->enterSlot(t), noOp);
    EXPECT_EQ(timeline->renderSlot(t), noOp);
    EXPECT_EQ(timeline->updateSlot(t), noOp);
  }
  for (std::int32_t t : {1001, 600000, 600001, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(timeline->enterSlot(t), nullptr) << t;
    EXPECT_EQ(timeline->renderSlot(t), nullptr) << t;
    EXPECT_EQ(timeline->updateSlot(t), nullptr) << t;
  }
  EXPECT_NE(orbTimeline::create("Full", 600000)->renderSlot(600000), nullptr);
  EXPECT_EQ(orbTimeline::create("Negative", -5)->renderSlot(0), nullptr);
}

TEST_F(Timeline, ALengthAbove600000IsFatal) {
  testsupport::ScopedTempDir dir;
  const auto child = testsupport::runInChild([] { orbTimeline::create("Timeline1", 600001); });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.exitCode, 1);
  EXPECT_EQ(testsupport::readFileBytes("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbTimeline\r\n"
            "Timeline is too big for buffer!\r\n");
}

TEST_F(Timeline, PlacingFillsOneHundredAndOneEnterSlotsAndStartToEnd) {
  auto timeline = orbTimeline::create("T", 10000);
  const SceneProc noOp = timeline->renderSlot(0);
  auto scene = orbScene::create("S", record<'E', 'a'>, record<'R', 'a'>, record<'U', 'a'>);
  timeline->placeScene(*scene, 1000, 5000);
  EXPECT_EQ(timeline->enterSlot(999), noOp);
  EXPECT_EQ(timeline->enterSlot(1000), scene->enterProc);
  EXPECT_EQ(timeline->enterSlot(1100), scene->enterProc);
  EXPECT_EQ(timeline->enterSlot(1101), noOp);
  EXPECT_EQ(timeline->renderSlot(999), noOp);
  EXPECT_EQ(timeline->renderSlot(1000), scene->renderProc);
  EXPECT_EQ(timeline->updateSlot(5000), scene->updateProc);
  EXPECT_EQ(timeline->renderSlot(5001), noOp);

  // A scene shorter than the enter window, and one whose end is before its start.
  auto shortScene = orbScene::create("Short", record<'E', 'b'>, record<'R', 'b'>, record<'U', 'b'>);
  timeline->placeScene(*shortScene, 7000, 7010);
  EXPECT_EQ(timeline->enterSlot(7100), shortScene->enterProc);
  EXPECT_EQ(timeline->renderSlot(7011), noOp);
  timeline->placeScene(*shortScene, 8000, 7999);
  EXPECT_EQ(timeline->enterSlot(8000), shortScene->enterProc);
  EXPECT_EQ(timeline->renderSlot(8000), noOp);

  // Slots above the length exist up to 600000; nothing is written beyond.
  timeline->placeScene(*shortScene, 599900, 600000);
  EXPECT_EQ(timeline->enterSlot(600000), shortScene->enterProc);
  EXPECT_EQ(timeline->renderSlot(600000), shortScene->renderProc);
  EXPECT_EQ(timeline->renderSlot(599899), nullptr);
  timeline->placeScene(*shortScene, 599950, INT32_MAX);  // clipped, no overflow
  timeline->placeScene(*shortScene, INT32_MAX, INT32_MAX);
  timeline->placeScene(*shortScene, -50, 10);
  EXPECT_EQ(timeline->enterSlot(0), shortScene->enterProc);
  EXPECT_EQ(timeline->enterSlot(50), shortScene->enterProc);
  EXPECT_EQ(timeline->enterSlot(51), noOp);
}

TEST_F(Timeline, LaterPlacementsWinSlotBySlot) {
  auto timeline = orbTimeline::create("T", 10000);
  auto first = orbScene::create("A", record<'E', 'a'>, record<'R', 'a'>, record<'U', 'a'>);
  auto second = orbScene::create("B", record<'E', 'b'>, record<'R', 'b'>, record<'U', 'b'>);
  timeline->placeScene(*first, 0, 3000);
  timeline->placeScene(*second, 1000, 2000);
  EXPECT_EQ(timeline->renderSlot(999), first->renderProc);
  EXPECT_EQ(timeline->renderSlot(1000), second->renderProc);
  EXPECT_EQ(timeline->renderSlot(2000), second->renderProc);
  EXPECT_EQ(timeline->renderSlot(2001), first->renderProc);
  EXPECT_EQ(timeline->enterSlot(50), first->enterProc);
  EXPECT_EQ(timeline->enterSlot(1050), second->enterProc);
  // The enter window of a later scene reaches into the next one's range.
  timeline->placeScene(*first, 2950, 2960);
  timeline->placeScene(*second, 3000, 4000);
  EXPECT_EQ(timeline->enterSlot(3020), second->enterProc);
  timeline->placeScene(*first, 2990, 2995);
  EXPECT_EQ(timeline->enterSlot(3020), first->enterProc);
  EXPECT_EQ(timeline->renderSlot(3020), second->renderProc);
}

TEST_F(Timeline, DispatchRunsTimelinesInTableOrderEnterBeforeRender) {
  setTimelineEntry(3, orbTimeline::create("Three", 2000));
  setTimelineEntry(1, orbTimeline::create("One", 1000));
  auto a = orbScene::create("A", record<'E', '1'>, record<'R', '1'>, record<'U', '1'>);
  auto b = orbScene::create("B", record<'E', '3'>, record<'R', '3'>, record<'U', '3'>);
  timelineEntry(1)->placeScene(*a, 0, 1000);
  timelineEntry(3)->placeScene(*b, 500, 2000);

  EXPECT_EQ(frameAt(0), "E1R1|U1");
  // Timeline 1's enter window is over (its enter slot is the no-op); timeline 3's is on.
  EXPECT_EQ(frameAt(550), "R1E3R3|U1U3");
  EXPECT_EQ(frameAt(50), "E1R1|U1");
  EXPECT_EQ(frameAt(700), "R1R3|U1U3");
  // Above timeline 1's length its slots are empty: it draws nothing.
  EXPECT_EQ(frameAt(1500), "R3|U3");
  // Outside every timeline's slots nothing runs.
  EXPECT_EQ(frameAt(600001), "|");
  EXPECT_EQ(frameAt(-1), "|");
}

TEST_F(Timeline, TheMarkerGuardRunsASetUpOncePerEntry) {
  setTimelineEntry(1, orbTimeline::create("Timeline1", 10000));
  auto guarded = orbScene::create("G", guardedEnter, nothing, nothing);
  auto other = orbScene::create("O", nothing, nothing, nothing);
  timelineEntry(1)->placeScene(*guarded, 1000, 2000);
  timelineEntry(1)->placeScene(*other, 2001, 2999);
  timelineEntry(1)->placeScene(*guarded, 3000, 4000);

  for (std::int32_t t = 1000; t <= 1100; t += 5) frameAt(t);
  EXPECT_EQ(setUps, 1);
  // Placed again: the marker is still the scene's own, so nothing is set up...
  for (std::int32_t t = 3000; t <= 3100; t += 5) frameAt(t);
  EXPECT_EQ(setUps, 1);
  // ...until someone stores another value.
  timelineEntry(1)->activeScene = 99;
  frameAt(3050);
  EXPECT_EQ(setUps, 2);
  // A frame that misses the whole enter window never runs the set-up.
  timelineEntry(1)->activeScene = 0;
  frameAt(3101);
  EXPECT_EQ(setUps, 2);
}

TEST_F(Timeline, SceneTableLookupTakesTheHighestIndexAndSkipsEmptyEntries) {
  setSceneEntry(1, orbScene::create("Scene01", nothing, nothing, nothing));
  setSceneEntry(40, orbScene::create("Scene01", nothing, nothing, nothing));
  setSceneEntry(100, orbScene::create("Scene02", nothing, nothing, nothing));
  setSceneEntry(101, orbScene::create("Scene03", nothing, nothing, nothing));  // no such entry: ignored
  setSceneEntry(0, orbScene::create("Scene03", nothing, nothing, nothing));
  EXPECT_EQ(findScene("Scene01"), 40);
  EXPECT_EQ(findScene("Scene02"), 100);
  EXPECT_EQ(findScene("Scene03"), 0);
  EXPECT_EQ(findScene("scene01"), 0);
  EXPECT_EQ(findScene(""), 0);
  EXPECT_EQ(sceneEntry(0), nullptr);
  EXPECT_EQ(sceneEntry(101), nullptr);
  EXPECT_EQ(timelineEntry(11), nullptr);
  EXPECT_EQ(orbScene::create(std::string(300, 'n'), nothing, nothing, nothing)->name.size(), 255u);
}

TEST_F(Timeline, AFrameAllocatesNothing) {
  for (int id : {1, 2, 10}) setTimelineEntry(id, orbTimeline::create("T", 600000));
  auto scene = orbScene::create("S", nothing, nothing, nothing);
  timelineEntry(2)->placeScene(*scene, 0, 600000);
  const long before = allocations.load();
  for (std::int32_t t = 0; t <= 600000; t += 97) {
    currentTime = t;
    timelineRender();
    timelineUpdate();
  }
  EXPECT_EQ(allocations.load(), before);
}
