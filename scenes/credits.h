// The eight items of Scene12's credits: three stars and five credit panels,
// each flying in from far away at its arrival time and, except star 3, past
// the viewer after its leave time.
#pragma once

#include <cstdint>
#include <span>

#include "engine/shared.h"

namespace scene {

struct CreditItem {
  tex::Slot texture;
  std::int32_t arrive;
  bool leaves;
  std::int32_t leave;
  int turn;     // stars turn by +t / 100 or −t / 100 degrees about z; 0: panels do not turn
  bool pulses;  // depth s − 4 (stars) instead of −4
  double x0, x1, y0, y1;
};

// The items in drawing order.
std::span<const CreditItem> creditItems();

// One item at music time t and spectrum value s: loads the identity, moves and
// turns it, colour (1, 1, 1, 1), binds its texture, draws its quad. Needs
// texturing and blending set by the caller.
void drawCreditItem(const CreditItem& item, double t, double s);

}  // namespace scene
