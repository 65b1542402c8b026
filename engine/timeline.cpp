#include "engine/timeline.h"

#include <algorithm>
#include <array>

#include "engine/log.h"
#include "engine/state.h"

namespace {

void noOperation() {}

std::array<std::unique_ptr<orbScene>, sceneTableSize + 1> sceneTable;
std::array<std::unique_ptr<orbTimeline>, timelineTableSize + 1> timelineTable;

}  // namespace

std::unique_ptr<orbScene> orbScene::create(const std::string& name, SceneProc enterProc, SceneProc renderProc,
                                           SceneProc updateProc) {
  auto scene = std::make_unique<orbScene>();
  scene->name = name.substr(0, 255);
  scene->enterProc = enterProc;
  scene->renderProc = renderProc;
  scene->updateProc = updateProc;
  return scene;
}

std::unique_ptr<orbTimeline> orbTimeline::create(const std::string& name, std::int32_t length) {
  std::unique_ptr<orbTimeline> timeline(new orbTimeline);
  timeline->name_ = name.substr(0, 255);
  timeline->length_ = length;
  if (length > timelineCapacity) fatalError("orbTimeline", "Timeline is too big for buffer!");
  constexpr std::size_t slots = timelineCapacity + 1;
  timeline->enterSlots_ = std::make_unique<SceneProc[]>(slots);  // value-initialised: all empty
  timeline->renderSlots_ = std::make_unique<SceneProc[]>(slots);
  timeline->updateSlots_ = std::make_unique<SceneProc[]>(slots);
  for (std::int32_t t = 0; t <= length; ++t) {
    timeline->enterSlots_[t] = noOperation;
    timeline->renderSlots_[t] = noOperation;
    timeline->updateSlots_[t] = noOperation;
  }
  return timeline;
}

void orbTimeline::placeScene(const orbScene& scene, std::int32_t start, std::int32_t end) {
  // 64-bit bounds: start + 100 must not overflow for start near INT32_MAX.
  const std::int64_t enterFirst = std::max<std::int64_t>(start, 0);
  const std::int64_t enterLast = std::min<std::int64_t>(std::int64_t{start} + enterWindow - 1, timelineCapacity);
  for (std::int64_t t = enterFirst; t <= enterLast; ++t) enterSlots_[t] = scene.enterProc;
  const std::int64_t last = std::min<std::int64_t>(end, timelineCapacity);
  for (std::int64_t t = enterFirst; t <= last; ++t) {
    renderSlots_[t] = scene.renderProc;
    updateSlots_[t] = scene.updateProc;
  }
}

orbScene* sceneEntry(int index) {
  return index >= 1 && index <= sceneTableSize ? sceneTable[index].get() : nullptr;
}

orbTimeline* timelineEntry(int id) {
  return id >= 1 && id <= timelineTableSize ? timelineTable[id].get() : nullptr;
}

std::int32_t longestTimelineLength() {
  std::int32_t longest = 0;
  for (int id = 1; id <= timelineTableSize; ++id)
    if (const orbTimeline* timeline = timelineEntry(id)) longest = std::max(longest, timeline->length());
  return longest;
}

void setSceneEntry(int index, std::unique_ptr<orbScene> scene) {
  if (index >= 1 && index <= sceneTableSize) sceneTable[index] = std::move(scene);
}

void setTimelineEntry(int id, std::unique_ptr<orbTimeline> timeline) {
  if (id >= 1 && id <= timelineTableSize) timelineTable[id] = std::move(timeline);
}

int findScene(const std::string& name) {
  for (int index = sceneTableSize; index >= 1; --index)
    if (sceneTable[index] && sceneTable[index]->name == name) return index;
  return 0;
}

void timelineRender() {
  const std::int32_t t = currentTime;
  for (int id = 1; id <= timelineTableSize; ++id) {
    const orbTimeline* timeline = timelineTable[id].get();
    if (!timeline) continue;
    if (SceneProc enter = timeline->enterSlot(t)) enter();
    if (SceneProc render = timeline->renderSlot(t)) render();
  }
}

void timelineUpdate() {
  const std::int32_t t = currentTime;
  for (int id = 1; id <= timelineTableSize; ++id) {
    const orbTimeline* timeline = timelineTable[id].get();
    if (!timeline) continue;
    if (SceneProc update = timeline->updateSlot(t)) update();
  }
}
