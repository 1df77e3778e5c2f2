# Locates MiniSat 2.2 (headers minisat/core/Solver.h and libminisat) and
# provides the imported target MiniSat::minisat.
#
# Normally MiniSat comes from scripts/setup-deps, which builds it into
# <build dir>/deps/minisat; that is where MINISAT_ROOT points by default. To use
# a MiniSat installed elsewhere, configure with -DMINISAT_ROOT=/that/prefix (or
# set MINISAT_ROOT in the environment); if MINISAT_ROOT has none, the usual
# system locations are searched as well.
#
# Sets: MINISAT_ROOT (cache), MINISAT_INCLUDE_DIR, MINISAT_LIBRARY, MiniSat_FOUND.
include_guard(GLOBAL)

if(DEFINED ENV{MINISAT_ROOT} AND NOT "$ENV{MINISAT_ROOT}" STREQUAL "")
  set(_minisat_default_root "$ENV{MINISAT_ROOT}")
else()
  set(_minisat_default_root "${CMAKE_BINARY_DIR}/deps/minisat")
endif()
set(MINISAT_ROOT "${_minisat_default_root}" CACHE PATH
    "Prefix holding include/minisat/core/Solver.h and lib/libminisat.a (scripts/setup-deps fills ${CMAKE_BINARY_DIR}/deps/minisat)")

# find_path/find_library cache their answers, so without this a changed
# MINISAT_ROOT would silently keep using the old MiniSat.
if(DEFINED _MINISAT_ROOT_USED AND NOT "${_MINISAT_ROOT_USED}" STREQUAL "${MINISAT_ROOT}")
  unset(MINISAT_INCLUDE_DIR CACHE)
  unset(MINISAT_LIBRARY CACHE)
endif()
set(_MINISAT_ROOT_USED "${MINISAT_ROOT}" CACHE INTERNAL "MINISAT_ROOT the cached MiniSat paths came from")

# MINISAT_ROOT first and on its own, so that a MiniSat in the system can't shadow
# the one setup-deps built; only then the system locations.
find_path(MINISAT_INCLUDE_DIR
  NAMES minisat/core/Solver.h
  PATHS "${MINISAT_ROOT}" PATH_SUFFIXES include
  NO_DEFAULT_PATH)
find_path(MINISAT_INCLUDE_DIR NAMES minisat/core/Solver.h)

# Prefer the static library: zel then runs without MiniSat on the library path.
find_library(MINISAT_LIBRARY
  NAMES libminisat.a minisat
  PATHS "${MINISAT_ROOT}" PATH_SUFFIXES lib lib64
  NO_DEFAULT_PATH)
find_library(MINISAT_LIBRARY NAMES libminisat.a minisat)

if(NOT MINISAT_INCLUDE_DIR OR NOT MINISAT_LIBRARY)
  message(FATAL_ERROR
    "MiniSat not found (looked in MINISAT_ROOT='${MINISAT_ROOT}' and the system paths; "
    "header: ${MINISAT_INCLUDE_DIR}, library: ${MINISAT_LIBRARY}).\n"
    "Run scripts/setup-deps ${CMAKE_BINARY_DIR} to build it there, "
    "or configure with -DMINISAT_ROOT=<prefix of an existing MiniSat 2.2 install>.")
endif()

# minisat/utils/ParseUtils.h includes zlib.h, and the solver library itself calls
# into zlib, so every user of MiniSat needs it.
find_package(ZLIB QUIET)
if(NOT ZLIB_FOUND)
  message(FATAL_ERROR "zlib (needed by MiniSat) not found: install zlib1g-dev, e.g. by running scripts/setup-deps")
endif()

set(MiniSat_FOUND TRUE)
message(STATUS "MiniSat: ${MINISAT_LIBRARY} (headers in ${MINISAT_INCLUDE_DIR})")

if(NOT TARGET MiniSat::minisat)
  # GLOBAL so that whichever directory includes this module, tests and tools
  # elsewhere in the tree can link the target.
  add_library(MiniSat::minisat UNKNOWN IMPORTED GLOBAL)
  set_target_properties(MiniSat::minisat PROPERTIES
    IMPORTED_LOCATION "${MINISAT_LIBRARY}"
    IMPORTED_LINK_INTERFACE_LANGUAGES CXX
    INTERFACE_INCLUDE_DIRECTORIES "${MINISAT_INCLUDE_DIR};${ZLIB_INCLUDE_DIRS}"
    # zlib by path rather than ZLIB::ZLIB: that target is local to the directory
    # that ran find_package and would not resolve from sibling directories.
    INTERFACE_LINK_LIBRARIES "${ZLIB_LIBRARIES}"
    # MiniSat's IntTypes.h and Options.h rely on INT*_MAX / PRIi64, which older
    # C libraries only define in C++ when asked to.
    INTERFACE_COMPILE_DEFINITIONS "__STDC_LIMIT_MACROS;__STDC_FORMAT_MACROS")
endif()
