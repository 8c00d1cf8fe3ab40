#!/bin/sh
# Request decoding throughput (URL-encoded and multipart).
"$BUILD_DIR/cgi_decode_bench"
