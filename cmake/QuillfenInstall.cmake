# The shared libraries and the install: `cmake --install build --prefix P` gives
#   P/include/quillfen/<library>/*.h      the public headers (not the detail/ folders)
#   P/lib/libquillfen_<library>.a         the static libraries, position-independent
#   P/lib/libquillfen_<library>.so.0.1    the shared libraries (SONAME with the version)
#   P/lib/quillfen/                       the modules loaded on first use, found from there
#   P/lib/cmake/Quillfen/                 the CMake package (find_package(Quillfen CONFIG))
#   P/lib/pkgconfig/quillfen.pc           the pkg-config file
#   P/bin/                                the programs, linked statically as in the build
# (lib/ is the platform's library folder, lib64/ or lib/<triplet>/ where that is the rule.)
include(CMakePackageConfigHelpers)

set(QF_LIBRARIES image io toolbox watermark attacks methods benchmark)
set(QF_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillfen)
set(QF_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/quillfen)
if(NOT "${CMAKE_INSTALL_FULL_LIBDIR}/quillfen" STREQUAL "${CMAKE_INSTALL_PREFIX}/${QF_MODULE_INSTALL_DIR}")
  message(FATAL_ERROR "give CMAKE_INSTALL_LIBDIR relative to the prefix (the modules are found relative to it)")
endif()

# The shared twin of the static library quillfen_<name>: the same objects (compiled once,
# position-independent, hidden unless a public header declares them), linked with the static
# library's dependencies, each Quillfen library by its own twin. What the static library
# passes on to its callers the twin passes on; what it links only for itself (the
# $<LINK_ONLY:...> of its interface) the twin links privately.
function(quillfen_shared_library name)
  set(static quillfen_${name})
  set(shared quillfen_${name}_shared)
  add_library(${shared} SHARED $<TARGET_OBJECTS:${static}>)
  set_target_properties(${shared} PROPERTIES
    OUTPUT_NAME quillfen_${name}
    VERSION ${PROJECT_VERSION}
    # Before 1.0 every minor version may change the interface.
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
    LIBRARY_OUTPUT_DIRECTORY ${QF_LIBRARY_OUTPUT_DIRECTORY}
    # Each finds the Quillfen libraries it needs beside itself, wherever the prefix is.
    INSTALL_RPATH "$ORIGIN"
    EXPORT_NAME ${name}_shared)
  foreach(property INTERFACE_INCLUDE_DIRECTORIES INTERFACE_COMPILE_DEFINITIONS INTERFACE_COMPILE_FEATURES
                   INTERFACE_LINK_OPTIONS)
    get_target_property(value ${static} ${property})
    if(value)
      set_property(TARGET ${shared} PROPERTY ${property} "${value}")
    endif()
  endforeach()
  get_target_property(direct ${static} LINK_LIBRARIES)
  get_target_property(interface ${static} INTERFACE_LINK_LIBRARIES)
  foreach(dependency IN LISTS direct)
    # A library named by an alias (quillfen_files) is the library itself.
    set(linked ${dependency})
    if(TARGET ${dependency})
      get_target_property(aliased ${dependency} ALIASED_TARGET)
      if(aliased)
        set(linked ${aliased})
      endif()
    endif()
    if(TARGET ${linked}_shared)
      set(linked ${linked}_shared)
    endif()
    if(dependency IN_LIST interface)
      target_link_libraries(${shared} PUBLIC ${linked})
    else()
      target_link_libraries(${shared} PRIVATE ${linked})
    endif()
  endforeach()
  # Every symbol must be found at link time (a mark missing in a header shows here, not in a
  # caller's program; not in sanitizer builds, whose runtime may be the program's), and a
  # static library linked in keeps its symbols to itself.
  if(NOT QF_SANITIZE)
    target_link_options(${shared} PRIVATE LINKER:--no-undefined)
  endif()
  target_link_options(${shared} PRIVATE LINKER:--exclude-libs,ALL
                      LINKER:--version-script=${CMAKE_CURRENT_LIST_DIR}/shared_libraries.map)
  set_property(TARGET ${shared} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/shared_libraries.map)
endfunction()

foreach(name IN LISTS QF_LIBRARIES)
  set_target_properties(quillfen_${name} PROPERTIES EXPORT_NAME ${name}_static)
  install(TARGETS quillfen_${name} EXPORT QuillfenStaticTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  if(QF_SHARED_LIBS)
    quillfen_shared_library(${name})
    install(TARGETS quillfen_${name}_shared EXPORT QuillfenSharedTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
  # The detail/ headers are Quillfen's own (the module loader, the Qt picture module's table,
  # the vector state).
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${name}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          PATTERN detail EXCLUDE)
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

# The CMake package. A caller of the static libraries also links what they use; the packages
# that give those targets are looked for by the package file with find_dependency.
# The same for pkg-config --static: each of those libraries by its -l name.
set(QF_STATIC_DEPENDENCIES "")
set(QF_PC_LIBS_PRIVATE "")
foreach(name IN LISTS QF_LIBRARIES)
  get_target_property(interface quillfen_${name} INTERFACE_LINK_LIBRARIES)
  foreach(dependency IN LISTS interface)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" library "${dependency}")
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
    elseif(NOT library MATCHES "^quillfen_|^\\$<")
      list(APPEND QF_PC_LIBS_PRIVATE "-l${library}")
    endif()
    if(dependency MATCHES "^(\\$<LINK_ONLY:)?([A-Za-z0-9_]+)::([A-Za-z0-9_]+)>?$")
      set(package ${CMAKE_MATCH_2})
      set(component ${CMAKE_MATCH_3})
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
endforeach()
list(REMOVE_DUPLICATES QF_STATIC_DEPENDENCIES)
list(REMOVE_DUPLICATES QF_PC_LIBS_PRIVATE)
list(JOIN QF_PC_LIBS_PRIVATE " " QF_PC_LIBS_PRIVATE)
list(JOIN QF_STATIC_DEPENDENCIES "\n  " QF_STATIC_DEPENDENCIES)
set(QF_PACKAGE_LIBRARIES ${QF_LIBRARIES})
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
set(QF_PC_LIBS "")
foreach(name IN LISTS QF_LIBRARIES)
  string(PREPEND QF_PC_LIBS "-lquillfen_${name} ")
endforeach()
string(STRIP "${QF_PC_LIBS}" QF_PC_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillfen.pc.in ${PROJECT_BINARY_DIR}/quillfen.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quillfen.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
