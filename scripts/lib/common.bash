# The prelude every script of the project sources, and the only path they name:
#   source "$(dirname "$0")/lib/common.bash"      (or ../lib from scripts/windows)
# Sets $root (the checkout), $python, and say/die in the calling script's name; then
# sources the parts, one job each: packages.bash (installs), files.bash (safe removal),
# build.bash (builds, the commit's time, the release tools), wine.bash (fresh Wine
# prefixes), in_debian13.bash (running again in the Debian 13 root).

# Its real path, symbolic links resolved: the Debian 13 root binds the checkout there, and
# scripts run again inside it name themselves by it.
root=$(cd -P "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script_name=${0#"$root"/}

say() { echo "${script_name##*/}: $*" >&2; }
die() { echo "$script_name: $*" >&2; exit 1; }

# Python that has the Debian packages' modules (python3-debian, license-expression, ...):
# the system's, whatever python3 comes first in PATH.
python=/usr/bin/python3

for part in packages files build wine in_debian13; do
    source "$root/scripts/lib/$part.bash"
done
unset part
