# One interface target carries the options every target of ours shares.
add_library(corvanta_options INTERFACE)
target_compile_features(corvanta_options INTERFACE cxx_std_20)
target_compile_options(corvanta_options INTERFACE -Wall -Wextra)
# GLib headers (GMime) use "signals" as an identifier, so Qt's keywords stay off
# everywhere: use Q_SIGNALS, Q_SLOTS and Q_EMIT.
target_compile_definitions(corvanta_options INTERFACE
  QT_NO_KEYWORDS
  CORVANTA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  CORVANTA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  CORVANTA_VERSION_REVISION=${PROJECT_VERSION_PATCH})
if(CORVANTA_SANITIZE)
  target_compile_options(corvanta_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(corvanta_options INTERFACE -fsanitize=address,undefined)
endif()
if(CORVANTA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANTA_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage for the fuzzer and sanitizers in every library the targets link;
  # the fuzzer's own main is only linked into the fuzz targets.
  target_compile_options(corvanta_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(corvanta_options INTERFACE -fsanitize=address,undefined)
endif()
