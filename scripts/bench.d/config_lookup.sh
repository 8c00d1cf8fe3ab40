#!/bin/sh
# Cost of a configuration lookup on an unchanged file beside a full parse.
set -eu
"${BUILD_DIR:-build-release}/config_lookup"
