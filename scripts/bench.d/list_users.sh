#!/bin/sh
# Lists 100 000 users with the real CGI (Command=ListUsers, page to
# /dev/null) and fetches the same four attributes with the same filter with
# ldapsearch, side by side against one throwaway directory; prints both
# times, their ratio (target: at most 1.5) and the peak memory of each.
# The users are seeded already sorted by last name, the order that makes a
# naive sort tree quadratic. Needs BUILD_DIR (a Release build).
set -e
BUILD_DIR=${BUILD_DIR:-build-release}
USERS=${USERS:-100000}
RUNS=${RUNS:-3}
ROOT=$(pwd)
RUNNER="$BUILD_DIR/list_users"
WORK=$(mktemp -d "$ROOT/$BUILD_DIR/bench-list-users.XXXXXX")
trap 'scripts/directory-sandbox stop "$WORK/dir" >/dev/null 2>&1; rm -rf "$WORK"' EXIT INT TERM

awk -v n="$USERS" 'BEGIN {
  print "dn: dc=com\nobjectClass: domain\ndc: com\n"
  print "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n"
  for (i = 0; i < n; i++) {
    printf "dn: mail=user%06d@example.com,dc=example,dc=com\nobjectClass: xoperson\n", i
    printf "mail: user%06d@example.com\nfirstname: First%06d\nsn: Last%06d\n", i, i, i
    printf "cn: First%06d Last%06d\ntelephoneNumber: +1 555 %06d\n\n", i, i, i
  }
}' > "$WORK/users.ldif"
PORT=$(scripts/directory-sandbox start "$WORK/dir" "$WORK/users.ldif")

FILTER='(&(objectClass=xoperson)(mail=*)(!(objectclass=xolistowner))(!(objectclass=xolistrequest)))'
cgi() {
  "$RUNNER" env -i XOMTA_CONFIG_DIR="$WORK/dir" REQUEST_METHOD=GET \
    QUERY_STRING='Command=ListUsers&FirstName=*&LastName=*&Mail=*' "$BUILD_DIR/ldapcgi.cgi"
}
search() {
  "$RUNNER" ldapsearch -x -LLL -H "ldap://127.0.0.1:$PORT" -D cn=root -w kpqz -b "" -s sub \
    "$FILTER" firstname sn mail telephonenumber
}

# Rows really printed (the page is complete and sorted).
ROWS=$(env -i XOMTA_CONFIG_DIR="$WORK/dir" REQUEST_METHOD=GET \
  QUERY_STRING='Command=ListUsers&FirstName=*&LastName=*&Mail=*' "$BUILD_DIR/ldapcgi.cgi" |
  grep -c 'Command=FindUser&Mail=' || true)
ROWS=$((ROWS / 3))

best_cgi=""; best_search=""
i=0
while [ $i -lt "$RUNS" ]; do
  set -- $(search); s_time=$1; s_mem=$2
  set -- $(cgi); c_time=$1; c_mem=$2
  if [ -z "$best_search" ] || awk "BEGIN{exit !($s_time < $best_search)}"; then best_search=$s_time; search_mem=$s_mem; fi
  if [ -z "$best_cgi" ] || awk "BEGIN{exit !($c_time < $best_cgi)}"; then best_cgi=$c_time; cgi_mem=$c_mem; fi
  i=$((i + 1))
done

echo "users: $USERS (rows on the page: $ROWS), best of $RUNS runs"
echo "ldapsearch:  ${best_search} s, peak ${search_mem} KiB"
echo "ListUsers:   ${best_cgi} s, peak ${cgi_mem} KiB"
awk -v c="$best_cgi" -v s="$best_search" 'BEGIN { printf "ratio:       %.2f (target <= 1.50)\n", c / s }'
