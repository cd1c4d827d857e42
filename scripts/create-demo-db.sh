#!/bin/sh
# Creates the gateway's demo database (dialect 3, ISO-8859-1 text) at the path given, on the
# embedded engine, from demo_database.sql beside this script. Does nothing when the file is
# already there, so it can run before every start.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 DATABASE-FILE" >&2
  exit 2
fi
database=$1
script_dir=$(cd "$(dirname "$0")" && pwd)

if [ -e "$database" ]; then
  echo "demo database already present: $database"
  exit 0
fi

mkdir -p "$(dirname "$database")"
# Build it under a temporary name and move it into place only when it is complete, so that an
# interrupted run leaves no half-filled database behind that a later run would skip.
partial="$database.partial.$$"
trap 'rm -f "$partial"' EXIT INT TERM
isql_bin=$(command -v isql-fb || command -v isql)
printf "SET SQL DIALECT 3;\nCREATE DATABASE '%s' DEFAULT CHARACTER SET ISO8859_1;\nCOMMIT;\n" \
  "$partial" | "$isql_bin" -q -bail
"$isql_bin" -q -bail -i "$script_dir/demo_database.sql" "$partial"
mv "$partial" "$database"
trap - EXIT INT TERM
echo "demo database created: $database"
