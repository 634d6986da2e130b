# The program's floors (FLOORS at the top of the tree): each a static
# library of the sources of its folders that links only the floor below it.
# GNU ld reads the libraries once, top floor first, so a call that runs up a
# floor does not link. The top floor, the windows, is morvane_win.
file(STRINGS ${PROJECT_SOURCE_DIR}/FLOORS floor_lines REGEX "^[a-z]")
set(below "")
foreach(line ${floor_lines})
  string(REGEX REPLACE "[ \t]+" ";" words "${line}")
  list(POP_FRONT words floor)
  set(sources "")
  foreach(folder ${words})
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/app/main.cpp)
  set(target morvane_floor_${floor})
  add_library(${target} STATIC ${sources})
  if(below)
    target_link_libraries(${target} PUBLIC ${below})
  endif()
  set(below ${target})
endforeach()

target_include_directories(morvane_floor_base PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(morvane_floor_base PUBLIC WINVER=0x0600 _WIN32_WINNT=0x0600 _WIN32_IE=0x0600
                           NOMINMAX STRICT)
target_link_libraries(morvane_floor_base PUBLIC ${MORVANE_WIN_LIBS})
add_library(morvane_win INTERFACE)
target_link_libraries(morvane_win INTERFACE ${below})
