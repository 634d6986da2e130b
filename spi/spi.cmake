# ifwic.spi / ifwic.sph: the Susie import plug-in over the Windows Imaging
# Component, built into the folder of the program so that a fresh install
# finds it (.spi beside Morvane.exe, .sph beside Morvane64.exe).
add_library(ifwic SHARED
  ${PROJECT_SOURCE_DIR}/spi/spi_exports.cpp
  ${PROJECT_SOURCE_DIR}/spi/spi_input.cpp
  ${PROJECT_SOURCE_DIR}/spi/wic_factory.cpp
  ${PROJECT_SOURCE_DIR}/spi/wic_frame.cpp
  ${PROJECT_SOURCE_DIR}/spi/wic_picture.cpp
  ${PROJECT_SOURCE_DIR}/spi/ifwic.def)
target_include_directories(ifwic PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(ifwic PRIVATE WINVER=0x0600 _WIN32_WINNT=0x0600 NOMINMAX STRICT)
target_compile_options(ifwic PRIVATE -O2)
# The .def names the decorated stdcall symbols; --kill-at exports them bare.
target_link_options(ifwic PRIVATE -static -Wl,--kill-at)
target_link_libraries(ifwic PRIVATE ole32 uuid)
set_target_properties(ifwic PROPERTIES
  PREFIX "" SUFFIX ${MORVANE_SPI_SUFFIX}
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/spi-implib)
add_custom_target(morvane_spi_plugins DEPENDS ifwic)
# Shipped beside the program: building Morvane builds its plug-in.
add_dependencies(Morvane morvane_spi_plugins)
