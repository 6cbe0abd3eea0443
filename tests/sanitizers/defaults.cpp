// The sanitizers' settings, built into every program and test of the
// sanitized build, so that a test, the test discovery at build time and a
// program the tests start all run the same way without environment set-up.
// The environment's ASAN_OPTIONS, LSAN_OPTIONS and UBSAN_OPTIONS still win.

extern "C" {

// Any report ends the program with a failure.
const char* __asan_default_options() {
  return "detect_leaks=1:check_initialization_order=1:strict_init_order=1:"
         "detect_stack_use_after_return=1:strict_string_checks=1:abort_on_error=0";
}

const char* __ubsan_default_options() {
  return "print_stacktrace=1:halt_on_error=1";
}

// Leaks of libraries we build without the sanitizers, kept until the process
// ends by design. Our own code is never listed here.
const char* __lsan_default_suppressions() {
  return "";
}

}  // extern "C"
