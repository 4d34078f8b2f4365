# The reusable layer around the core: what its folders need, and one
# function that makes a folder's library.
#
# Each folder is one static library, position-independent and built once:
# the program links it as it is and so does the Python module (a shared
# object). The layer does not pick the core's build itself; the host that
# links it does (the program the core `towngrow`, the module its own copy
# towngrow_module_core, by setting the target property TOWNGROW_MODULE).
find_package(GIF REQUIRED)
# Cairo (Debian libcairo2-dev) draws every picture and writes the PNGs; its
# text goes through fontconfig to DejaVu Sans (fonts-dejavu-core).
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
find_package(nlohmann_json CONFIG REQUIRED)
# GDAL (Debian libgdal-dev): rasters and vector layers of every kind in,
# GeoTIFF out.
find_package(GDAL CONFIG REQUIRED)
# SQLite (Debian libsqlite3-dev): the calibration's store of finished points.
find_package(SQLite3 REQUIRED)

add_library(towngrow_core_of_host INTERFACE)
target_link_libraries(towngrow_core_of_host INTERFACE
  $<IF:$<BOOL:$<TARGET_PROPERTY:TOWNGROW_MODULE>>,towngrow_module_core,towngrow>)
target_include_directories(towngrow_core_of_host INTERFACE
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/include)

# towngrow_layer_library(<folder> [NAME <target>] [DEPENDS <libraries>...]
#                        [EXCLUDE <files>...]):
# the library towngrow_<folder> (or NAME) of every .cpp in the folder but the
# excluded; its headers are included as "<folder>/<name>.h" from the top of
# the repository.
function(towngrow_layer_library folder)
  cmake_parse_arguments(ARG "" "NAME" "DEPENDS;EXCLUDE" ${ARGN})
  set(name towngrow_${folder})
  if(ARG_NAME)
    set(name ${ARG_NAME})
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  foreach(file ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/${folder}/${file})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} towngrow_core_of_host)
  target_compile_features(${name} PUBLIC cxx_std_17)
  target_compile_options(${name} PRIVATE ${TOWNGROW_WARNINGS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
