# Reads the #include lines of the launcher, the archiver and glimtake, and fails naming every
# file that includes from a folder above its own.
#
#   cmake -DROOT=<source tree> [-DWIDGETS_DIR=<QtWidgets include folder>]
#         [-DARCHIVER_ROOMS=<room=used,...;...>] [-DEXPECTED=<file: include;...>]
#         -P checklayers.cmake
#
# The launcher's folders, from the top down: a file may include from its own folder and from
# those below it. The archiver and glimtake stand beneath the launcher and know nothing of it.
# The folders named in CORE never include a widget header, so they stay usable without a
# window. Inside the archiver, a file of archiver/<room>/ may include from its own room and
# from the rooms ARCHIVER_ROOMS says it uses (its library's links), and never from the entry
# points at archiver/'s top, which may include from every room; the rooms must not use each
# other round in a circle. With EXPECTED the script checks itself: the offences found must be
# exactly those.

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

# The archiver's rooms and what each uses; none may be reached again from what it uses.
set(rooms "")
foreach(entry IN LISTS ARCHIVER_ROOMS)
  if(NOT entry MATCHES "^([a-z0-9_]+)=([a-z0-9_,]*)$")
    message(FATAL_ERROR "'${entry}' is no 'room=used,...'")
  endif()
  list(APPEND rooms "${CMAKE_MATCH_1}")
  string(REPLACE "," ";" "uses_${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
endforeach()
foreach(room IN LISTS rooms)
  foreach(used IN LISTS uses_${room})
    if(NOT used IN_LIST rooms)
      message(FATAL_ERROR "the archiver's room ${room}/ uses ${used}/, which is no room")
    endif()
  endforeach()
endforeach()
# Rooms whose used rooms are all placed are placed, until none are left; those that never
# can be use each other.
set(unplaced ${rooms})
set(placed "")
while(unplaced)
  set(before ${unplaced})
  foreach(room IN LISTS before)
    set(ready TRUE)
    foreach(used IN LISTS uses_${room})
      if(NOT used IN_LIST placed)
        set(ready FALSE)
      endif()
    endforeach()
    if(ready)
      list(APPEND placed ${room})
      list(REMOVE_ITEM unplaced ${room})
    endif()
  endforeach()
  if(unplaced STREQUAL before)
    string(REPLACE ";" "/, " circle "${unplaced}")
    message(FATAL_ERROR "the archiver's rooms ${circle}/ use each other")
  endif()
endwhile()

# The room of a file below archiver/ (path relative to ROOT): "" for the entry points at its
# top.
function(room_of path out)
  if(path MATCHES "^archiver/([^/]+)/")
    if(NOT CMAKE_MATCH_1 IN_LIST rooms)
      message(FATAL_ERROR "archiver/${CMAKE_MATCH_1}/ holds ${path} but is no room of the "
                          "archiver (ARCHIVER_ROOMS)")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

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
    if(NOT why AND own STREQUAL "archiver")
      room_of("${file}" ownRoom)
      # Rooms are named from archiver/, or from the tree's top; a bare name is a header of
      # the including file's own folder, or of the entry points'.
      string(REGEX REPLACE "^archiver/" "" inArchiver "${target}")
      set(includedRoom "-")
      if(inArchiver MATCHES "^([^/]+)/" AND CMAKE_MATCH_1 IN_LIST rooms)
        set(includedRoom "${CMAKE_MATCH_1}")
      elseif(NOT inArchiver MATCHES "/")
        if(EXISTS "${fileDir}/${inArchiver}")
          set(includedRoom "${ownRoom}")
        elseif(EXISTS "${ROOT}/archiver/${inArchiver}")
          set(includedRoom "")
        endif()
      endif()
      if(ownRoom AND includedRoom STREQUAL "")
        set(why "the entry points at archiver/'s top are above every room")
      elseif(ownRoom AND NOT includedRoom STREQUAL "-" AND NOT includedRoom STREQUAL ownRoom
             AND NOT includedRoom IN_LIST uses_${ownRoom})
        set(why "archiver/${ownRoom}/ does not link archiver/${includedRoom}/")
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
