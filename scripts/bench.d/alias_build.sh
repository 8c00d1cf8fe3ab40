#!/bin/sh
# Alias table build from USERS users (default 100 000) with two aliases each,
# timed against ldapsearch fetching the same mail values into /dev/null from
# the same server. Prints both times, their ratio (target: at most 1.5), the
# records per second and the build's peak memory, also for a build from a
# tenth of the users (memory must not grow with the number of users; the
# database component's page cache, at most 16 MiB, fills first). Each size is
# built twice: with every log line written (one progress line per alias, the
# default) and with [Log] Level=5, which leaves the progress lines out.
set -e
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-release}
USERS=${USERS:-100000}
MEASURE="$BUILD_DIR/alias_build"
CGI="$BUILD_DIR/ldapcgi.cgi"
[ -x "$MEASURE" ] && [ -x "$CGI" ] || { echo "alias_build: build $BUILD_DIR first" >&2; exit 1; }
WORK=$(mktemp -d "$(pwd)/$BUILD_DIR/alias-build-bench.XXXXXX")
SANDBOXES=""
cleanup() {
  for d in $SANDBOXES; do scripts/directory-sandbox stop "$d" >/dev/null 2>&1 || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

users_ldif() {  # COUNT FILE
  awk -v n="$1" 'BEGIN {
    print "dn: dc=com\nobjectClass: domain\ndc: com\n"
    print "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n"
    for (i = 0; i < n; i++) {
      printf "dn: mail=user%d@example.com,dc=example,dc=com\nobjectClass: xoperson\n", i
      printf "mail: user%d@example.com\nmail: first.alias%d@example.com\nmail: second.alias%d@example.org\n\n", i, i, i
    }
  }' > "$2"
}

# build COUNT: seeds a sandbox, measures ldapsearch and the build side by side.
build() {
  count=$1
  dir="$WORK/$count"
  mkdir -p "$dir/queue" "$dir/config"
  users_ldif "$count" "$dir/users.ldif"
  SANDBOXES="$SANDBOXES $dir/directory"
  port=$(scripts/directory-sandbox start "$dir/directory" "$dir/users.ldif")
  # The configuration folder holds XOMTA.INI alone, as /etc/xomta would.
  cp "$dir/directory/XOMTA.INI" "$dir/config/XOMTA.INI"
  printf '\n[Gateway]\nQueueDirectory=%s\n' "$dir/queue" >> "$dir/config/XOMTA.INI"
  printf 'Command=BuildAliasTable' > "$dir/body"
  cp "$dir/config/XOMTA.INI" "$dir/config/XOMTA.INI.all"
  { cat "$dir/config/XOMTA.INI.all"; printf '\n[Log]\nLevel=5\n'; } > "$dir/config/XOMTA.INI.quiet"
  sleep 2   # the configuration reader re-reads files changed within the last two seconds
  search() {
    "$MEASURE" -- ldapsearch -x -LLL -o ldif-wrap=no -H "ldap://127.0.0.1:$port" -D cn=root -w kpqz \
      -b "" "(&(mail=*)(objectclass=xoperson))" mail
  }
  search >/dev/null   # warms the server's cache
  # Two builds: every log line written (one progress line per alias), then
  # with [Log] Level=5, which drops the progress lines.
  for logging in all quiet; do
    cp "$dir/config/XOMTA.INI.$logging" "$dir/config/XOMTA.INI"
    sleep 2
    s1=$(search)
    b=$(env -i PATH="$PATH" XOMTA_CONFIG_DIR="$dir/config" REQUEST_METHOD=POST \
          CONTENT_TYPE=application/x-www-form-urlencoded CONTENT_LENGTH=23 \
          "$MEASURE" -i "$dir/body" -o "$dir/page" -- "$CGI")
    s2=$(search)
    sequence=$(ldapsearch -x -LLL -H "ldap://127.0.0.1:$port" -D cn=root -w kpqz \
                 -b cn=AliasSequence,cn=PreProcessor,cn=profiles -s base xoprofilevalue 2>/dev/null |
               sed -n 's/^xoprofilevalue: //p')
    records=$("$BUILD_DIR/aliastable" dump "$dir/queue/AliasTables" "$sequence" 2>/dev/null | wc -l)
    echo "$s1 $s2 $b" | awk -v users="$count" -v records="${records:-0}" -v seq="$sequence" -v logging="$logging" '{
      search = ($1 + $4) / 2; build = $7
      printf "users %d, logging %-5s: ldapsearch %.2f s (%.2f, %.2f), build %.2f s (exit %d, sequence %s), ratio %.2f, %d records, %.0f records/s, build peak memory %d KiB\n",
        users, logging, search, $1, $4, build, $9, seq, build / search, records, (build > 0 ? records / build : 0), $8
    }'
  done
  scripts/directory-sandbox stop "$dir/directory" >/dev/null 2>&1 || true
}

build $((USERS / 10))
build "$USERS"
