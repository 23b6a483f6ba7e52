# Installs the headers, both libraries, the tool, a CMake package
# (find_package(kmv) gives kmv::kmv and kmv::kmv_static) and kmv.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KMV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kmv)

install(TARGETS kmv kmv_static EXPORT kmvTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kmv.h ${PROJECT_SOURCE_DIR}/include/kmv.hpp
  ${PROJECT_SOURCE_DIR}/include/kmv_ext.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kmvTargets NAMESPACE kmv:: DESTINATION ${KMV_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kmvConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kmvConfig.cmake
  INSTALL_DESTINATION ${KMV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kmvConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kmvConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/kmvConfigVersion.cmake
  DESTINATION ${KMV_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so that an installation
# moved with `cmake --install --prefix` (or by hand) stays usable.
function(kmv_pc_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(KMV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  set(KMV_PC_PREFIX "\${pcfiledir}")
  string(REPLACE "/" ";" _kmv_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  foreach(_part IN LISTS _kmv_parts)
    if(NOT _part STREQUAL "" AND NOT _part STREQUAL ".")
      string(APPEND KMV_PC_PREFIX "/..")
    endif()
  endforeach()
endif()
kmv_pc_path(KMV_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
kmv_pc_path(KMV_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kmv.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kmv.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kmv.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
