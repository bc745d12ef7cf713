# What keeps a build from scratch short: CI starts from a fresh clone on two cores with a cold cache,
# and compiles the project twice (scripts/test.sh).

# ccache when it is installed. Precompiled headers are only cached with these sloppiness settings
# (added to any the user has); without them ccache compiles every file that uses one.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  execute_process(COMMAND ${CCACHE_PROGRAM} --get-config sloppiness
                  OUTPUT_VARIABLE tarnwick_ccache_sloppiness OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REGEX REPLACE "[ ,]+" ";" tarnwick_ccache_sloppiness "${tarnwick_ccache_sloppiness}")
  list(APPEND tarnwick_ccache_sloppiness pch_defines time_macros include_file_mtime include_file_ctime)
  list(REMOVE_ITEM tarnwick_ccache_sloppiness "")
  list(REMOVE_DUPLICATES tarnwick_ccache_sloppiness)
  list(JOIN tarnwick_ccache_sloppiness "," tarnwick_ccache_sloppiness)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env CCACHE_SLOPPINESS=${tarnwick_ccache_sloppiness}
                                  ${CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_CXX_COMPILER_LAUNCHER})
  # clang stamps a precompiled header with its headers' times, which a header restored from the cache
  # would not match.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options("SHELL:-Xclang -fno-pch-timestamp")
  endif()
endif()

# lld links the test executables, each holding both static libraries, several times faster than the
# default linker; used where it is installed (scripts/install-deps.sh installs it with the test tools).
option(TARNWICK_LLD "Link with lld when the compiler can use it" ON)
if(TARNWICK_LLD)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld TARNWICK_HAVE_LLD)
  if(TARNWICK_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()

# Precompiled headers (cmake/pch/): the Qt, standard and test headers that nearly every file includes
# are parsed once per target instead of once per file. -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON turns them
# off, which also shows a file that leans on them for an include it lacks.
set(TARNWICK_PCH_DIR ${CMAKE_CURRENT_LIST_DIR}/pch)
