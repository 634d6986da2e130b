target_sources(morvane_portable PRIVATE ${PROJECT_SOURCE_DIR}/preview/fit.cpp)
