# Sanitizer builds: every target of the project is instrumented, and the tests
# run with options that make any report fail the test that caused it, in the
# test's own process and in every program it starts.
set(LUMENFOLIO_SANITIZER_ENVIRONMENT "")
set(sanitizer_options_dir ${PROJECT_SOURCE_DIR}/tests/sanitizers)
# A report ends the process with this status, which no program of ours uses.
set(sanitizer_exit_code 86)

if(LUMENFOLIO_SANITIZE STREQUAL "address")
  set(sanitizer_flags -fsanitize=address,undefined,float-cast-overflow
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  set(LUMENFOLIO_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=exitcode=${sanitizer_exit_code}:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
    "UBSAN_OPTIONS=exitcode=${sanitizer_exit_code}:halt_on_error=1:print_stacktrace=1"
    "LSAN_OPTIONS=exitcode=${sanitizer_exit_code}:suppressions=${sanitizer_options_dir}/leak.supp:print_suppressions=0")
elseif(LUMENFOLIO_SANITIZE STREQUAL "thread")
  set(sanitizer_flags -fsanitize=thread -fno-omit-frame-pointer)
  set(LUMENFOLIO_SANITIZER_ENVIRONMENT
    "TSAN_OPTIONS=exitcode=${sanitizer_exit_code}:halt_on_error=0:second_deadlock_stack=1:suppressions=${sanitizer_options_dir}/thread.supp")
elseif(NOT LUMENFOLIO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LUMENFOLIO_SANITIZE must be empty, address or thread, not ${LUMENFOLIO_SANITIZE}")
endif()

if(sanitizer_flags)
  add_compile_options(${sanitizer_flags})
  add_link_options(${sanitizer_flags})
  # The level the sanitizers are made for, with line tables for their reports:
  # it compiles in about half the time of -O2 -g, which CI runs twice.
  add_compile_options(-O1 -g1)
  # GCC's flow analysis misreads the instrumented code (moves out of
  # std::variant in std::optional), which warnings-as-errors would stop at.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
