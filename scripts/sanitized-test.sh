#!/usr/bin/env bash
# Runs one test program of the sanitizer build (ctest calls it as the test
# launcher). LeakSanitizer checks for leaks at exit by stopping every thread
# from a helper "tracer" thread; that tracer itself now and then dies when a
# driver thread is winding down at the same moment ("Tracer caught signal"),
# which says nothing about our code. Only in that case is the program run
# once more; any other failure, a real leak included, stands as it is.

# Fewer threads for the leak checker to stop: the software rasteriser draws on
# the calling thread and no shader-cache writer runs. Pixels are the same.
export LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true
# Leaks of system libraries, for the test and every program it starts.
# use_tls=0: the leak checker reads a bogus entry in the dynamic TLS table of
# a process that has loaded the GL driver's libraries (its tracer dies at a
# near-null address, "DTLS 14 at 0x9dd", every time for some runs). Thread
# stacks, registers and globals are still scanned; nothing of ours keeps its
# only pointer to a heap block in thread-local storage. The suppressions' tally
# is not printed: a program's standard error is what some tests check.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:use_tls=0:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" 2>"$out"
rc=$?
if [ $rc -ne 0 ] && grep -q "LeakSanitizer has encountered a fatal error" "$out" \
   && grep -q "Tracer caught signal" "$out"; then
  cat "$out" >&2
  echo "sanitized-test: the leak checker's tracer crashed; running once more" >&2
  "$@"
  exit $?
fi
cat "$out" >&2
exit $rc
