#!/bin/sh
# The tests' own temporary directory: "fresh" empties it before a run,
# "check" after it fails if any test left something there (and empties it).
set -u
dir=$2
case $1 in
  fresh)
    chmod -R u+rwX "$dir" 2>/dev/null
    rm -rf "$dir" && mkdir -p "$dir"
    ;;
  check)
    if [ -z "$(ls -A "$dir")" ]; then
      echo "nothing left in $dir"
      exit 0
    fi
    echo "left in $dir by the tests:"
    find "$dir" -mindepth 1 -maxdepth 2 | head -n 40
    chmod -R u+rwX "$dir" 2>/dev/null
    rm -rf "$dir" && mkdir -p "$dir"
    exit 1
    ;;
  *)
    echo "usage: scratch.sh fresh|check DIR" >&2
    exit 2
    ;;
esac
