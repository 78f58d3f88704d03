#pragma once
// One file of every entry kind, played through each Wayland route, and what a pointer observer
// must see of it: the places, the presses and the wheel steps.

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "testkit/pointer_observer.h"

namespace pel::waylandtest {

using XY = std::pair<int, int>;
using Press = std::tuple<uint32_t, bool, XY>;    // button, pressed, where
using Step = std::tuple<uint32_t, int32_t, XY>;  // axis, notches, where

inline const std::vector<std::string> kEveryKind = {
    "move,10,10,20",         "move,1279,1023,20",     "move,640,512,20",
    "Left,300,200,40",       "LeftDown,100,100,30",   "move,120,110,20",
    "move,150,130,20",       "move,180,140,20",       "LeftUp,180,140,30",
    "RightDown,400,300,600", "RightUp,400,300,30",    "Middle,500,400,30",
    "Wheel,510,410,30,240",  "Wheel,510,410,30,-120", "HWheel,520,420,30,-120",
    "HWheel,520,420,30,360", "X1Down,600,500,20",     "X1Up,600,500,20",
    "X2Down,610,510,20",     "X2Up,610,510,20",       "move,0,0,0"};

inline const std::vector<XY> kEveryKindPlaces = {{10, 10},   {1279, 1023}, {640, 512}, {300, 200},
                                                 {100, 100}, {120, 110},   {150, 130}, {180, 140},
                                                 {400, 300}, {500, 400},   {510, 410}, {520, 420},
                                                 {600, 500}, {610, 510},   {0, 0}};

inline const std::vector<Press> kEveryKindPresses = {
    {BTN_LEFT, true, {300, 200}},   {BTN_LEFT, false, {300, 200}},
    {BTN_LEFT, true, {100, 100}},   {BTN_LEFT, false, {180, 140}},
    {BTN_RIGHT, true, {400, 300}},  {BTN_RIGHT, false, {400, 300}},
    {BTN_MIDDLE, true, {500, 400}}, {BTN_MIDDLE, false, {500, 400}},
    {BTN_SIDE, true, {600, 500}},   {BTN_SIDE, false, {600, 500}},
    {BTN_EXTRA, true, {610, 510}},  {BTN_EXTRA, false, {610, 510}}};

// Up is away from the user (Wayland: negative), each notch its own step.
inline const std::vector<Step> kEveryKindSteps = {
    {WL_POINTER_AXIS_VERTICAL_SCROLL, -1, {510, 410}},
    {WL_POINTER_AXIS_VERTICAL_SCROLL, -1, {510, 410}},
    {WL_POINTER_AXIS_VERTICAL_SCROLL, 1, {510, 410}},
    {WL_POINTER_AXIS_HORIZONTAL_SCROLL, -1, {520, 420}},
    {WL_POINTER_AXIS_HORIZONTAL_SCROLL, 1, {520, 420}},
    {WL_POINTER_AXIS_HORIZONTAL_SCROLL, 1, {520, 420}},
    {WL_POINTER_AXIS_HORIZONTAL_SCROLL, 1, {520, 420}}};

// What the observer saw: the places from the first one at `from` on (each once until the
// pointer moves away), the presses and the wheel steps.
struct Seen {
  std::vector<XY> places;
  std::vector<Press> presses;
  std::vector<Step> steps;
};
inline Seen SeenFrom(const std::vector<PointerEvent>& events, XY from) {
  Seen seen;
  for (const PointerEvent& e : events) {
    const XY at{e.x, e.y};
    if ((e.kind == PointerEvent::Kind::Motion || e.kind == PointerEvent::Kind::Enter) &&
        (seen.places.empty() ? at == from : seen.places.back() != at))
      seen.places.push_back(at);
    if (e.kind == PointerEvent::Kind::Button) seen.presses.emplace_back(e.button, e.pressed, at);
    if (e.kind == PointerEvent::Kind::Wheel) seen.steps.emplace_back(e.axis, e.discrete, at);
  }
  return seen;
}

}  // namespace pel::waylandtest
