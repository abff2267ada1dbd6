#!/bin/sh
# The POSIX demo's stand-in for the client installer: records where it started.
[ -n "$PATHWARDEN_RECORD" ] && echo "$0" >> "$PATHWARDEN_RECORD"
exit 0
