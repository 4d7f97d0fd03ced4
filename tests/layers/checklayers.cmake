# Reads the #include lines of the launcher, the archiver and glimtake, and fails naming every
# file that includes from a folder above its own.
#
#   cmake -DROOT=<source tree> [-DWIDGETS_DIR=<QtWidgets include folder>]
#         [-DEXPECTED=<file: include;...>] -P checklayers.cmake
#
# The launcher's folders, from the top down: a file may include from its own folder and from
# those below it. The archiver and glimtake stand beneath the launcher and know nothing of it.
# The folders named in CORE never include a widget header, so they stay usable without a
# window. With EXPECTED the script checks itself: the offences found must be exactly those.

cmake_minimum_required(VERSION 3.25)

set(LAYERS startup mainwindow dialogs shell fulltext apps instances catalog util platform resources)
set(CORE fulltext apps instances catalog util platform)
set(STANDALONE archiver iconextract)

get_filename_component(ROOT "${ROOT}" ABSOLUTE)
if(NOT IS_DIRECTORY "${ROOT}/launcher")
  message(FATAL_ERROR "no launcher/ folder under '${ROOT}'")
endif()

set(widgetHeaders "")
if(WIDGETS_DIR)
  file(GLOB widgetHeaders RELATIVE "${WIDGETS_DIR}" "${WIDGETS_DIR}/Q*")
  if(NOT widgetHeaders)
    message(FATAL_ERROR "no widget headers in '${WIDGETS_DIR}'")
  endif()
endif()

# The folder of launcher/ or of the tree that path (relative to ROOT) lies in; empty for none.
function(folder_of path out)
  if(path MATCHES "^launcher/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(offences "")
set(scanned 0)
file(GLOB_RECURSE files RELATIVE "${ROOT}" LIST_DIRECTORIES false
  "${ROOT}/launcher/*.h" "${ROOT}/launcher/*.cpp"
  "${ROOT}/archiver/*.h" "${ROOT}/archiver/*.cpp"
  "${ROOT}/iconextract/*.h" "${ROOT}/iconextract/*.cpp")
list(SORT files)
foreach(file IN LISTS files)
  folder_of("${file}" own)
  list(FIND LAYERS "${own}" ownRank)
  list(FIND STANDALONE "${own}" standalone)
  if(ownRank LESS 0 AND standalone LESS 0)
    continue()
  endif()
  math(EXPR scanned "${scanned} + 1")
  get_filename_component(fileDir "${ROOT}/${file}" DIRECTORY)
  file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "include[ \t]*[<\"]([^>\"]+)[>\"]")
      continue()
    endif()
    set(included "${CMAKE_MATCH_1}")
    # A path with ".." is taken from the including file's folder.
    set(target "${included}")
    if(included MATCHES "^\\.\\./|/\\.\\./")
      get_filename_component(resolved "${fileDir}/${included}" ABSOLUTE)
      file(RELATIVE_PATH relative "${ROOT}/launcher" "${resolved}")
      set(target "${relative}")
      if(relative MATCHES "^\\.\\./")
        file(RELATIVE_PATH target "${ROOT}" "${resolved}")
      endif()
    endif()
    set(why "")
    if(target MATCHES "^([^/]+)/")
      set(first "${CMAKE_MATCH_1}")
      list(FIND LAYERS "${first}" includedRank)
      if(standalone GREATER_EQUAL 0 AND (includedRank GREATER_EQUAL 0 OR first STREQUAL "launcher"))
        set(why "${own}/ knows nothing of the launcher")
      elseif(ownRank GREATER_EQUAL 0 AND includedRank GREATER_EQUAL 0 AND includedRank LESS ownRank)
        set(why "${first}/ is above ${own}/")
      endif()
    endif()
    if(NOT why AND own IN_LIST CORE)
      string(REGEX REPLACE "^QtWidgets/" "" bare "${included}")
      if(included STREQUAL "QtWidgets" OR (bare IN_LIST widgetHeaders AND
                                              NOT included MATCHES "^(QtCore|QtGui)/"))
        set(why "${own}/ uses no widgets")
      endif()
    endif()
    if(why)
      list(APPEND offences "${file}: ${included}")
      message(STATUS "${file} includes \"${included}\": ${why}")
    endif()
  endforeach()
endforeach()

if(scanned EQUAL 0)
  message(FATAL_ERROR "no source files under '${ROOT}'")
endif()

if(DEFINED EXPECTED)
  if(NOT offences STREQUAL EXPECTED)
    message(FATAL_ERROR "offences found: '${offences}'\nexpected: '${EXPECTED}'")
  endif()
  return()
endif()
list(LENGTH offences count)
if(count GREATER 0)
  message(FATAL_ERROR "${count} include(s) point upward (listed above)")
endif()
message(STATUS "${scanned} files, every include points down")
