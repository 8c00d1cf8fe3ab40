#!/bin/sh
# Alias table: build 200 000 records, then 100 000 random lookups.
set -eu
"${BUILD_DIR:-build-release}/alias_lookup"
