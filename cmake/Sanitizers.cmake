# ZORVIK_SANITIZE: AddressSanitizer and UBSan for every target, with UBSan
# findings fatal. Asked of a compiler that does not take the flags (MSVC,
# or a GCC or Clang built without the sanitizer runtimes), the build stops
# here and says so, instead of failing later or running unchecked.
include_guard(GLOBAL)
include(CheckCXXSourceCompiles)

set(ZORVIK_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                          -fno-sanitize-recover=undefined)

function(zorvik_enable_sanitizers)
  set(CMAKE_REQUIRED_FLAGS ${ZORVIK_SANITIZE_FLAGS})
  list(JOIN CMAKE_REQUIRED_FLAGS " " CMAKE_REQUIRED_FLAGS)
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=address,undefined)
  check_cxx_source_compiles("int main() { return 0; }" ZORVIK_COMPILER_TAKES_SANITIZERS)
  if(NOT ZORVIK_COMPILER_TAKES_SANITIZERS)
    message(FATAL_ERROR
      "ZORVIK_SANITIZE=ON, but ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} does not "
      "compile and link with ${ZORVIK_SANITIZE_FLAGS}. Configure with -DZORVIK_SANITIZE=OFF, or "
      "with GCC or Clang and their sanitizer runtimes (Debian: libclang-rt-14-dev for clang).")
  endif()
  add_compile_options(${ZORVIK_SANITIZE_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endfunction()
