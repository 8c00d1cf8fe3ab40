#!/bin/sh
# Cost of a configuration lookup on an unchanged file beside a full parse.
set -e
"$BUILD_DIR/config_lookup"
