#!/bin/sh
# Checks that the engine library exports exactly its seven entry points.
set -eu
lib="$1"
expected="qvx_close_object
qvx_create_object
qvx_finalize
qvx_get_property
qvx_initialize
qvx_run_command
qvx_set_property"
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ:"; echo "$actual"
  exit 1
fi
