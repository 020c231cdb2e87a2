# The build directories the scripts share, one configuration each (sourced by scripts/setup,
# scripts/test, scripts/fuzz and scripts/package; run from the source root):
#   build           Release (-O3), installed under /usr: the programs the demo runs, the
#                   end-to-end tests run and the Debian package ships
#   build-sanitize  clang with AddressSanitizer and UndefinedBehaviorSanitizer, every library also
#                   instrumented for libFuzzer: the unit tests and the fuzz targets' short runs
#   build-tsan      ThreadSanitizer: the GUI tests that run operations on worker threads
# The instrumented builds are not optimised (-O0) and keep line tables only (-g1), which is all
# a sanitizer's report needs: optimising and describing the instrumented code would take more
# than twice as long to compile as the tests take to run.
# Warnings are errors here (developers and CI), not for a packager's own build. The sources are
# compiled in batches of eight per target (a unity build: the shared headers are compiled once
# per batch instead of once per file), which a plain CMake configure does not do.

jobs=$(nproc)

# configure DIR [CMAKE ARGS...]: configure DIR quietly with the settings every build shares.
configure() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCORVEL_WERROR=ON -DCMAKE_UNITY_BUILD=ON "$@" >/dev/null
}

configure_build() {
  configure build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCORVEL_UNIT_TESTS=OFF -DCORVEL_SANITIZE=OFF
}

# configure_sanitize [DIR [OPTIMIZATION]]: scripts/fuzz's long runs use their own -O2 build.
configure_sanitize() {
  local dir=${1:-build-sanitize} opt=${2:--O0}
  configure "$dir" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$opt -g1 -DNDEBUG" \
    -DCORVEL_FUZZ=ON -DCORVEL_UNIT_TESTS=ON
}

configure_tsan() {
  configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG" -DCORVEL_TSAN=ON -DCORVEL_SANITIZE=OFF
}
