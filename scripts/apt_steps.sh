# Package steps shared by scripts/deps.sh (the host) and tests/vm/build-image.sh
# (the test guest). Sourced, not run. Each step takes the command that runs apt
# as its first arguments: "env" as root, "sudo", or the image's chroot runner.
#
# Debian's mirrors can serve a suite's index out of step with its Release file
# for days ("File has unexpected size ... Mirror sync in progress?"). apt then
# ignores that suite and goes on with the others, so a failed update is only a
# failure when a package we need can no longer be found.

# apt's own retry of a fetch that failed on the way (timeouts, resets, 5xx).
apt_options=(-o Acquire::Retries=5 -o Acquire::http::Timeout=60)

# apt_update RUNNER...: updates the indexes. apt's own words go to standard
# output; each suite whose index could not be fetched is named on standard
# error, and the step goes on: apt_require decides whether that matters.
apt_update() {
  local out suites suite
  out=$("$@" apt-get "${apt_options[@]}" update -qq 2>&1) || true
  [ -z "$out" ] || printf '%s\n' "$out"
  # "Failed to fetch <uri>/dists/<suite>/<component>/..." names the suite.
  suites=$(printf '%s\n' "$out" | sed -n 's|.*Failed to fetch [^ ]*/dists/\([^/ ]*\)/.*|\1|p' | sort -u)
  for suite in $suites; do
    echo "apt: the index of suite '$suite' could not be fetched after retries: that is the state of the" \
      "package archive, not of this project; going on with the suites that did update" >&2
  done
  return 0
}

# apt_missing RUNNER... -- PACKAGE...: prints each package no updated suite offers.
apt_missing() {
  local runner=() p policy
  while [ $# -gt 0 ] && [ "$1" != -- ]; do runner+=("$1"); shift; done
  shift
  for p in "$@"; do
    # Read whole first: grep -q would end the pipe early, a failure under pipefail.
    policy=$("${runner[@]}" apt-cache policy "$p" 2>/dev/null) || policy=""
    grep -q -E '^ +Candidate: [^(]' <<<"$policy" || echo "$p"
  done
}

# apt_require RUNNER... -- PACKAGE...: fails, naming them, when any package
# cannot be installed from what the update left.
apt_require() {
  local missing
  missing=$(apt_missing "$@" | tr '\n' ' ')
  if [ -n "$missing" ]; then
    echo "apt: no package source offers: ${missing% }. Check the suites named above, or the machine's apt sources." >&2
    return 1
  fi
}

# apt_install RUNNER... -- [apt-get install options and packages]
apt_install() {
  local runner=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do runner+=("$1"); shift; done
  shift
  "${runner[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" install -y -qq "$@"
}
