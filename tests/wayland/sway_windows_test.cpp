// The windows read from a sway tree (GET_TREE), as the compositor lays it out: the content area
// from the container's place and the window's own, app_id or else the X11 class, the title with
// its escapes, floating windows above tiled ones and the focused one first; hidden ones and
// containers without a program left out; a text that is no tree gives none.
#include <gtest/gtest.h>

#include "platform/wayland/sway_windows.h"

namespace pel {
namespace {

TEST(SwayWindows, WindowsInTheTree) {
  const char* tree = R"({"id": 1, "type": "root", "rect": {"x": 0, "y": 0, "width": 2080,
    "height": 1024}, "nodes": [{"id": 3, "type": "output", "name": "HEADLESS-1",
    "nodes": [{"id": 4, "type": "workspace", "name": "1", "visible": true,
      "rect": {"x": 0, "y": 0, "width": 1280, "height": 1024},
      "nodes": [
        {"id": 7, "type": "con", "pid": 100, "app_id": "editor", "name": "notes \u00e9 \ud83d\ude00",
         "visible": true, "focused": false,
         "rect": {"x": 0, "y": 0, "width": 640, "height": 1024},
         "window_rect": {"x": 2, "y": 25, "width": 636, "height": 997}, "nodes": []},
        {"id": 8, "type": "con", "pid": 101, "app_id": null, "name": "xterm \"1\"",
         "window_properties": {"class": "XTerm"}, "visible": true, "focused": true,
         "rect": {"x": 640, "y": 0, "width": 640, "height": 1024},
         "window_rect": {"x": 2, "y": 25, "width": 636, "height": 997}, "nodes": []},
        {"id": 9, "type": "con", "pid": 102, "app_id": "hidden", "name": "tab behind",
         "visible": false, "rect": {"x": 0, "y": 0, "width": 1, "height": 1},
         "window_rect": {"x": 0, "y": 0, "width": 1, "height": 1}, "nodes": []}],
      "floating_nodes": [
        {"id": 12, "type": "floating_con", "pid": 103, "app_id": "dialog", "name": "Save",
         "visible": true, "rect": {"x": 300, "y": 200, "width": 400, "height": 300},
         "window_rect": {"x": 0, "y": 0, "width": 400, "height": 300}, "nodes": []}]}]}]})";
  const std::vector<TopWindow> want = {
      {12, "dialog", "Save", 300, 200, 400, 300, false},
      {8, "XTerm", "xterm \"1\"", 642, 25, 636, 997, false},
      {7, "editor", "notes \xC3\xA9 \xF0\x9F\x98\x80", 2, 25, 636, 997, false},
  };
  EXPECT_EQ(WindowsInTree(tree), want);

  for (const char* no_tree : {"", "[]", "{\"nodes\": [", "{} trailing", "{\"name\": \"\\u12\"}"}) {
    SCOPED_TRACE(no_tree);
    EXPECT_TRUE(WindowsInTree(no_tree).empty());
  }
  // Nested far deeper than any tree: refused, not a stack overflow.
  EXPECT_TRUE(WindowsInTree(std::string(100000, '[')).empty());
}

}  // namespace
}  // namespace pel
