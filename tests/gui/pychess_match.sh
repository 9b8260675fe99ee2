#!/bin/sh
# Two games through pychess's own engine code (its Python modules, no
# window): see pychess_games.py. Installs Debian's pychess when it is
# missing.
#
# usage: tests/gui/pychess_match.sh [ENGINE [OUTDIR]]
set -u
engine=${1:-build/quarvel}
out=${2:-build/gui}
python=/usr/bin/python3
here=$(dirname "$0")

if ! "$python" -c 'import pychess' >/dev/null 2>&1; then
    echo "pychess_match: installing Debian's pychess"
    sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    lock=
    command -v flock >/dev/null 2>&1 && lock="flock /tmp/apt.lock"
    $sudo $lock apt-get update -q &&
        $sudo $lock env DEBIAN_FRONTEND=noninteractive apt-get install -y -q pychess ||
        { echo "pychess_match: FAILED, pychess could not be installed" >&2; exit 1; }
fi
if [ ! -x "$engine" ]; then
    echo "pychess_match: no engine at $engine" >&2
    exit 1
fi
mkdir -p "$out"
# pychess's own warnings about the missing display go to a log of their own.
timeout 1500 "$python" "$here/pychess_games.py" "$engine" "$out" 2>"$out/pychess.stderr"
status=$?
[ "$status" -eq 124 ] && echo "pychess_match: FAILED, the games did not finish in time" >&2
exit "$status"
