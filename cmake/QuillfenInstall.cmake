# The installed library and the install: `cmake --install build --prefix P` gives
#   P/include/quillfen/<library>/*.h      the headers of the installed API (QF_API_HEADERS)
#   P/lib/libquillfen.so.0.1              the shared library (SONAME with the version)
#   P/lib/libquillfen.a                   the same objects as a static library, position-independent
#   P/lib/quillfen/                       the modules loaded on first use, found from there
#   P/lib/cmake/Quillfen/                 the CMake package (find_package(Quillfen CONFIG))
#   P/lib/pkgconfig/quillfen.pc           the pkg-config file
#   P/bin/                                the programs, linked statically as in the build
# (lib/ is the platform's library folder, lib64/ or lib/<triplet>/ where that is the rule.)
#
# One library for callers, made from the internal static libraries below: the engine's
# libraries stay free to change behind the few functions marked QUILLFEN_EXPORT
# (quillfen/image/export.h), which are all the shared library exports. Quillfen's own
# programs, tests and Python package link the internal static libraries instead.
include(CMakePackageConfigHelpers)

# The libraries whose objects make the installed one (the sweep and the calibration stay the
# programs' own: quillfen-cli's sweep and calibrate run them).
set(QF_LIBRARIES image io toolbox watermark attacks methods)
set(QF_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillfen)
set(QF_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/quillfen)
if(NOT "${CMAKE_INSTALL_FULL_LIBDIR}/quillfen" STREQUAL "${CMAKE_INSTALL_PREFIX}/${QF_MODULE_INSTALL_DIR}")
  message(FATAL_ERROR "give CMAKE_INSTALL_LIBDIR relative to the prefix (the modules are found relative to it)")
endif()

# The installed headers: those that declare the exported functions and the types they take
# and return, and nothing they do not need (no workspace, no sweep buffers). A header added
# here must include only headers of this list (scripts/consumer.sh compiles each from the
# prefix alone).
set(QF_API_HEADERS
  image/export.h image/errors.h image/progress.h image/gray_plane.h image/gray_view.h
  image/bitmap.h image/image_view.h image/parameters.h image/limits.h
  io/picture_files.h
  watermark/detection_score.h watermark/detection_thresholds.h watermark/extraction_key.h
  watermark/mark_key.h watermark/method_key.h watermark/metrics.h watermark/registration.h
  attacks/attack_catalogue.h attacks/attack_list.h
  methods/method.h methods/extraction.h methods/method_command.h)

# What the internal static libraries link from outside Quillfen: the installed libraries link
# the same.
set(QF_EXTERNAL_LIBRARIES "")
foreach(name IN LISTS QF_LIBRARIES)
  get_target_property(interface quillfen_${name} INTERFACE_LINK_LIBRARIES)
  foreach(dependency IN LISTS interface)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" library "${dependency}")
    if(NOT library MATCHES "^quillfen_" AND NOT library MATCHES "^\\$<")
      list(APPEND QF_EXTERNAL_LIBRARIES ${library})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES QF_EXTERNAL_LIBRARIES)

set(QF_OBJECTS "")
foreach(name IN LISTS QF_LIBRARIES)
  list(APPEND QF_OBJECTS $<TARGET_OBJECTS:quillfen_${name}>)
endforeach()

add_library(quillfen_api_static STATIC ${QF_OBJECTS})
add_library(quillfen_api_shared SHARED ${QF_OBJECTS})
foreach(kind static shared)
  set_target_properties(quillfen_api_${kind} PROPERTIES OUTPUT_NAME quillfen EXPORT_NAME quillfen_${kind})
  target_compile_features(quillfen_api_${kind} INTERFACE cxx_std_20)
  target_include_directories(quillfen_api_${kind} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
# A caller of the static library links what it uses, and finds the modules through its run
# path (quillfen/image/detail/loadable_module.h); the shared library finds them beside itself.
target_link_libraries(quillfen_api_static INTERFACE ${QF_EXTERNAL_LIBRARIES})
target_link_options(quillfen_api_static INTERFACE
  LINKER:-rpath,$<INSTALL_PREFIX>/${CMAKE_INSTALL_LIBDIR}/quillfen)
target_link_libraries(quillfen_api_shared PRIVATE ${QF_EXTERNAL_LIBRARIES})
set_target_properties(quillfen_api_shared PROPERTIES
  VERSION ${PROJECT_VERSION}
  # Before 1.0 every minor version may change the interface.
  SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
  LIBRARY_OUTPUT_DIRECTORY ${QF_LIBRARY_OUTPUT_DIRECTORY})
# Every symbol must be found at link time (not in sanitizer builds, whose runtime may be the
# program's), and a static library linked in keeps its symbols to itself.
if(NOT QF_SANITIZE)
  target_link_options(quillfen_api_shared PRIVATE LINKER:--no-undefined)
endif()
target_link_options(quillfen_api_shared PRIVATE LINKER:--exclude-libs,ALL
                    LINKER:--version-script=${CMAKE_CURRENT_LIST_DIR}/shared_libraries.map)
set_property(TARGET quillfen_api_shared APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/shared_libraries.map)
if(NOT QF_SHARED_LIBS)
  set_target_properties(quillfen_api_shared PROPERTIES EXCLUDE_FROM_ALL ON)
endif()

install(TARGETS quillfen_api_static EXPORT QuillfenStaticTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(QF_SHARED_LIBS)
  install(TARGETS quillfen_api_shared EXPORT QuillfenSharedTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
foreach(header IN LISTS QF_API_HEADERS)
  string(REGEX MATCH "^[^/]+" library ${header})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${library}/include/quillfen/${header}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillfen/${folder})
endforeach()

# The modules, where the libraries look for them (quillfen/image/detail/loadable_module.h).
foreach(module quillfen_qt_pictures quillfen_registration_module)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${QF_MODULE_INSTALL_DIR})
  endif()
endforeach()

# The programs find the modules as ../lib/quillfen/ beside their own folder, no run path
# needed (one would cost every start a search of it for each library the program needs).
foreach(program quillfen-cli quillfen)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The CMake package. A caller of the static library also links what it uses; the packages
# that give those targets are looked for by the package file with find_dependency. The same
# for pkg-config --static: each of those libraries by its -l name.
set(QF_STATIC_DEPENDENCIES "")
set(QF_PC_LIBS_PRIVATE "")
foreach(library IN LISTS QF_EXTERNAL_LIBRARIES)
  if(TARGET ${library})
    get_target_property(type ${library} TYPE)
    get_target_property(imported ${library} IMPORTED)
    if(imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(file ${library} LOCATION)
      get_filename_component(file ${file} NAME)
      if(file MATCHES "^lib(.+)\\.(so|a)(\\.[0-9.]+)?$")
        list(APPEND QF_PC_LIBS_PRIVATE "-l${CMAKE_MATCH_1}")
      endif()
    endif()
  else()
    list(APPEND QF_PC_LIBS_PRIVATE "-l${library}")
  endif()
  if(library MATCHES "^([A-Za-z0-9_]+)::([A-Za-z0-9_]+)$")
    set(package ${CMAKE_MATCH_1})
    set(component ${CMAKE_MATCH_2})
    if(package STREQUAL "Qt6")
      set(call "Qt6 COMPONENTS ${component}")
    elseif(package STREQUAL "OpenSSL")
      set(call "OpenSSL COMPONENTS ${component}")
    else()
      set(call "${package}")
    endif()
    list(APPEND QF_STATIC_DEPENDENCIES "find_dependency(${call})")
  endif()
endforeach()
list(REMOVE_DUPLICATES QF_STATIC_DEPENDENCIES)
list(REMOVE_DUPLICATES QF_PC_LIBS_PRIVATE)
list(JOIN QF_PC_LIBS_PRIVATE " " QF_PC_LIBS_PRIVATE)
list(JOIN QF_STATIC_DEPENDENCIES "\n  " QF_STATIC_DEPENDENCIES)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuillfenConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuillfenConfig.cmake
                              INSTALL_DESTINATION ${QF_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillfenConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillfenConfig.cmake ${PROJECT_BINARY_DIR}/QuillfenConfigVersion.cmake
        DESTINATION ${QF_PACKAGE_DIR})
install(EXPORT QuillfenStaticTargets NAMESPACE Quillfen:: DESTINATION ${QF_PACKAGE_DIR})
if(QF_SHARED_LIBS)
  install(EXPORT QuillfenSharedTargets NAMESPACE Quillfen:: DESTINATION ${QF_PACKAGE_DIR})
endif()

# quillfen.pc, relative to its own folder so that the prefix can be chosen at install time.
file(RELATIVE_PATH QF_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QF_PC_TO_PREFIX "${QF_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillfen.pc.in ${PROJECT_BINARY_DIR}/quillfen.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quillfen.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
