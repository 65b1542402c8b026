// Scenes and timelines: which procedure runs at which millisecond.
//
// A timeline holds, for every millisecond 0 … 600000 of music time, one enter,
// one render and one update procedure. Creating a timeline of length L fills
// slots 0 … L of all three with a no-op; slots above L stay empty (null).
// placeScene writes a scene's enter procedure into its first 101 slots and its
// render and update procedures from start to end; later placements win slot
// by slot. Each frame, timelineRender calls, for the timelines in table order,
// the enter then the render slot of `currentTime`, and timelineUpdate the
// update slots. A slot that is empty, or a `currentTime` outside 0 … 600000,
// calls nothing. Dispatch is one index per slot: no search, no allocation.
//
// Tables: scenes 1 … 100 and timelines 1 … 10, each entry empty or owning its
// record. Index 0 and indices outside the range are never valid.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

using SceneProc = void (*)();

inline constexpr std::int32_t timelineCapacity = 600000;  // highest slot index
inline constexpr std::int32_t enterWindow = 101;          // enter slots per placement
inline constexpr int sceneTableSize = 100;
inline constexpr int timelineTableSize = 10;

struct orbScene {
  std::string name;  // at most 255 characters (longer names are cut)
  SceneProc enterProc = nullptr;
  SceneProc renderProc = nullptr;
  SceneProc updateProc = nullptr;

  static std::unique_ptr<orbScene> create(const std::string& name, SceneProc enterProc, SceneProc renderProc,
                                          SceneProc updateProc);
};

class orbTimeline {
 public:
  // Fatal ("orbTimeline", "Timeline is too big for buffer!") when length is
  // above 600000. A negative length leaves every slot empty.
  static std::unique_ptr<orbTimeline> create(const std::string& name, std::int32_t length);

  // Fills enter slots start … start + 100 and render/update slots
  // start … end (none when end < start). Slots outside 0 … 600000 do not
  // exist and are skipped; the script loader rejects such lines before.
  void placeScene(const orbScene& scene, std::int32_t start, std::int32_t end);

  const std::string& name() const { return name_; }
  std::int32_t length() const { return length_; }
  // The slots of millisecond t; null when empty or t is outside 0 … 600000.
  SceneProc enterSlot(std::int32_t t) const { return inRange(t) ? enterSlots_[t] : nullptr; }
  SceneProc renderSlot(std::int32_t t) const { return inRange(t) ? renderSlots_[t] : nullptr; }
  SceneProc updateSlot(std::int32_t t) const { return inRange(t) ? updateSlots_[t] : nullptr; }

  // Free marker for the scenes' set-up guard; 0 after creation.
  std::int32_t activeScene = 0;

 private:
  orbTimeline() = default;
  static bool inRange(std::int32_t t) { return t >= 0 && t <= timelineCapacity; }

  std::string name_;
  std::int32_t length_ = 0;
  std::unique_ptr<SceneProc[]> enterSlots_;
  std::unique_ptr<SceneProc[]> renderSlots_;
  std::unique_ptr<SceneProc[]> updateSlots_;
};

// Table entries, 1-based; null for an empty entry or an index out of range.
orbScene* sceneEntry(int index);
orbTimeline* timelineEntry(int id);

// Puts a record into an entry (replacing and disposing the old one), or
// disposes the entry's record when given null. Out-of-range indices are ignored.
void setSceneEntry(int index, std::unique_ptr<orbScene> scene);
void setTimelineEntry(int id, std::unique_ptr<orbTimeline> timeline);

// The greatest length among the registered timelines; 0 when there are none.
std::int32_t longestTimelineLength();

// The entry with the highest index whose scene has exactly this name; 0 when none.
int findScene(const std::string& name);

// Frame loop steps 5 and 8: the slots of `currentTime` on every timeline.
void timelineRender();
void timelineUpdate();
