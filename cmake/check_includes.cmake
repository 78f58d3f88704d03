# The include rules of the portable core, checked on the source tree:
#   cmake -DROOT=<source tree> -P cmake/check_includes.cmake
# - engine/, app/, shaping/ and the seam headers in platform/ include no Qt, X11 or Windows
#   header, no backend folder (platform/qt, x11, win32, posix) and no test substitute
#   (testkit/): the core builds everywhere and is tested with substitutes;
# - the layers include downwards only: engine/ includes neither shaping/ nor app/, and
#   shaping/ does not include app/.
# Prints one line per broken include and fails when there is any. The build carries the same
# layering (cmake/pel_targets.cmake): a library reaches only the headers of what it links.

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_includes.cmake")
endif()

set(window_system_windows
    "^(windows|win[a-z0-9]*|shellapi|shlobj|shlwapi|shobjidl|commdlg|commctrl|objbase|ole2|olectl|oleauto|mmsystem|dwmapi|uxtheme|tchar|psapi|tlhelp32|processthreadsapi|timeapi|versionhelpers|sddl|aclapi|wtsapi32|dbghelp|userenv|knownfolders)\\.h$")
set(window_system_unix "^(Q[A-Za-z0-9_]*(/|$)|X11/|xcb/|GL/glx)")
set(backend "^(platform/(qt|x11|win32|posix)|testkit)/")

set(violations 0)
set(checked 0)

# Checks every file of `folder` (its subfolders too unless `flat`) against the window-system
# rule and against `forbidden`, a regular expression of included paths ("" for none).
function(check_folder folder flat forbidden why)
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
      if(inc MATCHES "${window_system_unix}" OR lower MATCHES "${window_system_windows}")
        set(broken "a window-system header in the portable core")
      elseif(inc MATCHES "${backend}")
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

check_folder(engine FALSE "^(shaping|app)/" "the engine lies below shaping/ and app/")
check_folder(shaping FALSE "^app/" "shaping/ lies below app/")
check_folder(app FALSE "" "")
check_folder(platform TRUE "" "")

if(checked EQUAL 0)
  message(FATAL_ERROR "no source files under ${ROOT}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include rule violations in ${checked} files")
endif()
message("include rules hold in ${checked} files")
