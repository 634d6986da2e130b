target_sources(morvane_portable PRIVATE ${PROJECT_SOURCE_DIR}/palette/palette_grid.cpp)
