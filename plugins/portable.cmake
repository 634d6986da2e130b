target_sources(morvane_portable PRIVATE ${PROJECT_SOURCE_DIR}/plugins/plugin_row.cpp)
