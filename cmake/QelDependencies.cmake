# Third-party libraries of the platform floor and of the host. Every one is a Debian
# package that scripts/install-deps.sh installs.
find_package(ICU 70 REQUIRED COMPONENTS uc i18n)
set(QEL_PLATFORM_LIBS ICU::i18n ICU::uc)
# The HTTP client of platform/net.
find_package(CURL REQUIRED)
list(APPEND QEL_PLATFORM_LIBS CURL::libcurl)

if(QELSHARE_TOOLS)
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
endif()
if(QELSHARE_TESTS)
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
# Compressed record sets of the search index (platform/bitmap).
find_package(roaring REQUIRED)
list(APPEND QEL_PLATFORM_LIBS roaring::roaring)
