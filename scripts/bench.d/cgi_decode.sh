#!/bin/sh
# Request decoding throughput (URL-encoded and multipart).
set -eu
"${BUILD_DIR:-build-release}/cgi_decode_bench"
