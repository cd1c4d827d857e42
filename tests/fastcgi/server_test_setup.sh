# What the FastCGI tests against the Firebird server share. Sourced with the test's name:
#   source server_test_setup.sh NAME
# Checks that the server's connection data is set (XG_FB_SERVER_HOST, _USER, _PASSWORD), makes
# the folder $state (with $state/db, where the server's own user creates its files), a port, the
# database $database on the server (empty), and the functions fail, b64 and isql_server SQL.
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  [ -n "${!variable:-}" ] || { echo "FAIL: $variable is not set; the test needs the Firebird server"; exit 1; }
done
isql_bin=$(command -v isql-fb || command -v isql)
state=$(mktemp -d "/tmp/xg-fcgi-$1.XXXXXX")
chmod 755 "$state"
mkdir -p "$state/db"
chmod 777 "$state/db"
# Below 32768, where the kernel takes the local ports of outgoing connections.
port=$((20000 + RANDOM % 12000))
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
b64() { printf '%s' "$1" | base64 -w0; }
database="$XG_FB_SERVER_HOST:$state/db/$1.fdb"
isql_server() { printf '%s\n' "$1" | "$isql_bin" -q -user "$XG_FB_SERVER_USER" -password "$XG_FB_SERVER_PASSWORD" "$database" 2>&1; }
printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n" "$database" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" |
  "$isql_bin" -q >/dev/null 2>&1 || { echo "FAIL: cannot create $database"; exit 1; }
