# Every target of ours builds with warnings as errors. -Wrestrict is off: g++ 12 reports
# false positives inside std::string at -O2 (GCC bug 105329).
function(vantorel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
