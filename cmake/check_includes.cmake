# The include rules of the portable core, checked on the source tree:
#   cmake -DROOT=<source tree> -P cmake/check_includes.cmake
# - engine/, app/, shaping/ and the seam headers in platform/ include no Qt, X11 or Windows
#   header, no backend folder (platform/qt, x11, wayland, portal, win32, posix) and no test substitute
#   (testkit/): the core builds everywhere and is tested with substitutes;
# - the layers include downwards only: engine/ includes neither shaping/ nor app/, and
#   shaping/ does not include app/;
# - the backends (platform/posix, x11, wayland, portal, qt, win32) include the seam and their own system's
#   headers, never the core, the programs above them (programs/) or the test substitutes.
# Prints one line per broken include and fails when there is any. The build carries the same
# layering (cmake/pel_targets.cmake): a library reaches only the headers of what it links.

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_includes.cmake")
endif()

set(window_system_windows
    "^(windows|win[a-z0-9]*|shellapi|shlobj|shlwapi|shobjidl|commdlg|commctrl|objbase|ole2|olectl|oleauto|mmsystem|dwmapi|uxtheme|tchar|psapi|tlhelp32|processthreadsapi|timeapi|versionhelpers|sddl|aclapi|wtsapi32|dbghelp|userenv|knownfolders)\\.h$")
set(window_system_unix "^(Q[A-Za-z0-9_]*(/|$)|X11/|xcb/|GL/glx|wayland-)")
set(backend "^(platform/(qt|x11|wayland|portal|win32|posix)|testkit)/")

set(violations 0)
set(checked 0)

# Checks every file of `folder` (its subfolders too unless `flat`) against `forbidden`, a regular
# expression of included paths ("" for none), and, for the portable core (`core`), against the
# window-system and backend rules.
function(check_folder folder flat core forbidden why)
  if(flat)
    file(GLOB files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  else()
    file(GLOB_RECURSE files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  endif()
  foreach(file IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(RELATIVE_PATH rel "${ROOT}" "${file}")
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(inc "${CMAKE_MATCH_1}")
      string(TOLOWER "${inc}" lower)
      set(broken "")
      if(core AND (inc MATCHES "${window_system_unix}" OR lower MATCHES "${window_system_windows}"))
        set(broken "a window-system header in the portable core")
      elseif(core AND inc MATCHES "${backend}")
        set(broken "a backend header in the portable core")
      elseif(NOT forbidden STREQUAL "" AND inc MATCHES "${forbidden}")
        set(broken "${why}")
      endif()
      if(broken)
        message("${rel}: #include ${inc}: ${broken}")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
  set(violations ${violations} PARENT_SCOPE)
  set(checked ${checked} PARENT_SCOPE)
endfunction()

check_folder(engine FALSE TRUE "^(shaping|app|programs)/" "the engine lies below shaping/ and app/")
check_folder(shaping FALSE TRUE "^(app|programs)/" "shaping/ lies below app/")
check_folder(app FALSE TRUE "^programs/" "the programs lie above app/")
check_folder(platform TRUE TRUE "^programs/" "the seam lies below the programs")
foreach(backend_folder posix x11 wayland portal qt win32)
  check_folder(platform/${backend_folder} FALSE FALSE "^(engine|shaping|app|programs|testkit)/"
               "a backend includes only the seam and its own system")
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no source files under ${ROOT}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include rule violations in ${checked} files")
endif()
message("include rules hold in ${checked} files")
