# Flags shared by every target: reproducible floating point (no contraction
# into fused multiply-add, never fast-math), the x86-64 baseline instruction
# set (wider tiers get their flags per file, see src/CMakeLists.txt).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(KELVRA_X86_64 ON)
  add_compile_options(-march=x86-64 -mtune=generic)
endif()
add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra)

if(KELVRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KELVRA_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(KELVRA_COVERAGE)
  add_compile_options(--coverage)
  add_link_options(--coverage)
endif()

# Fuzzing builds (clang): the library and the targets carry coverage
# instrumentation plus the address and undefined-behaviour sanitizers; only the
# targets link libFuzzer's driver.
if(KELVRA_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KELVRA_BUILD_FUZZ needs clang (use the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
