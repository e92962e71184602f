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
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
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
