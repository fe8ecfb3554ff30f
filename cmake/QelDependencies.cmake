# Third-party libraries of the platform floor and of the host. Every one is a Debian
# package that scripts/install-deps.sh installs.
find_package(ICU 70 REQUIRED COMPONENTS uc i18n)
set(QEL_PLATFORM_LIBS ICU::i18n ICU::uc)
# The HTTP client of platform/net.
find_package(CURL REQUIRED)
list(APPEND QEL_PLATFORM_LIBS CURL::libcurl)
# The window floor: widgets, input and the display through Qt 6; text through its font engine.
if(QELSHARE_WINDOWS)
  find_package(Qt6 6.2 REQUIRED COMPONENTS Widgets Gui Core)
  list(APPEND QEL_PLATFORM_LIBS Qt6::Widgets Qt6::Gui Qt6::Core)
  set(QELSHARE_WINDOWS_VALUE 1)
else()
  set(QELSHARE_WINDOWS_VALUE 0)
endif()

if(QELSHARE_TOOLS)
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
endif()
if(QEL_WITH_TESTS)
  find_package(GTest REQUIRED)
endif()
if(QELSHARE_BENCH)
  find_package(benchmark REQUIRED)
endif()

# The MIDI sequencer of platform/mci: FluidSynth (Debian libfluidsynth-dev).
find_package(PkgConfig REQUIRED)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
find_package(Threads REQUIRED)
list(APPEND QEL_PLATFORM_LIBS PkgConfig::FLUIDSYNTH Threads::Threads)
# The PostgreSQL client of platform/pg (Debian libpq-dev).
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
list(APPEND QEL_PLATFORM_LIBS PkgConfig::LIBPQ)
# Compressed record sets of the search index (platform/bitmap).
find_package(roaring REQUIRED)
list(APPEND QEL_PLATFORM_LIBS roaring::roaring)
