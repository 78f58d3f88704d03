# What every target of this project shares, carried by targets rather than global options.

# The warnings of every target of ours; -Werror in developer builds (PEL_WERROR).
add_library(pel_warnings INTERFACE)
target_compile_options(
  pel_warnings INTERFACE -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
                        -Wold-style-cast -Woverloaded-virtual $<$<BOOL:${PEL_WERROR}>:-Werror>)

# Returns in `out` an include folder under the build tree that holds only `folder` (a path from
# the source root), so that its headers are still included as "folder/name.h" and nothing else
# of the tree is reachable through it. With FLAT only the headers directly in `folder` are
# there, not its subfolders (platform/ holds the seam; its subfolders are the backends).
function(pel_header_root out folder)
  cmake_parse_arguments(arg "FLAT" "" "" ${ARGN})
  string(REPLACE "/" "_" key "${folder}")
  set(root ${PROJECT_BINARY_DIR}/include/${key})
  file(REMOVE_RECURSE ${root})
  if(arg_FLAT)
    file(MAKE_DIRECTORY ${root}/${folder})
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
  else()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Gives `target`'s users the headers of `folder` and nothing more: a library reaches another's
# headers only by linking it, so the targets carry the layering cmake/check_includes.cmake checks.
function(pel_export_headers target folder)
  pel_header_root(root ${folder} ${ARGN})
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Links pel_warnings into every target built from our sources under `dir`.
function(pel_link_warnings dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE pel_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    pel_link_warnings(${subdir})
  endforeach()
endfunction()
