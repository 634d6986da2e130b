target_sources(morvane_portable PRIVATE ${PROJECT_SOURCE_DIR}/resources/pixel_art.cpp)
