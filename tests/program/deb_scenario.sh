#!/bin/bash
# Run as root in a fresh root of the package's release (scripts/debian-fresh, for
# test_deb.py): an older version installed, upgraded by the new one, used by an ordinary
# user, purged. What each step gave goes into /tmp/out for the test; a failed step ends it.
set -euo pipefail
cd /tmp/in
out=/tmp/out
export DEBIAN_FRONTEND=noninteractive
useradd --create-home alice
user() { runuser -u alice -- env -i HOME=/home/alice PATH=/usr/bin:/bin LANG=C.UTF-8 \
    DBUS_SESSION_BUS_ADDRESS=disabled: "$@"; }
install -d /etc/xdg/orvanel-works
echo MinimumLength=40 >/etc/xdg/orvanel-works/zelkora-desk-policy.conf
localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
apt-get install -y -q ./old.deb >"$out/apt.log" && apt-get install -y -q ./new.deb >>"$out/apt.log"
dpkg-query -W -f='${Version}\n' zelkora-desk >"$out/version"
dpkg -L zelkora-desk >"$out/files"
ls /usr/lib/zelkora-desk/zelkora >"$out/zelkora-folder"
user zelkora-cli -n 3 >"$out/cli"
user zelkora-cli -l 8 2>/dev/null || echo $? >"$out/refused"
# The window, found by its class once shown, then ended.
user xvfb-run -a -s "-nolisten tcp" sh -c 'zelkora-desk & timeout 120 xdotool search --sync --onlyvisible \
    --class zelkora-desk >/dev/null; echo $? >/tmp/shown; kill $!' && mv /tmp/shown "$out/shown"
cp /home/alice/.local/state/orvanel-works/zelkora-desk/log/app.log "$out/app.log"
find /usr/lib/zelkora-desk >"$out/program-folder"
user env MANWIDTH=80 man -P cat zelkora-cli >"$out/man-en" 2>&1
user env MANWIDTH=80 LANG=ja_JP.UTF-8 man -P cat zelkora-cli >"$out/man-ja" 2>&1
# shellcheck disable=SC2016
user bash -c 'source /usr/share/bash-completion/completions/zelkora-cli
    COMP_WORDS=(zelkora-cli --sym); COMP_CWORD=1; _zelkora_cli; echo "${COMPREPLY[*]}"' >"$out/completion"
apt-get purge -y -q zelkora-desk >>"$out/apt.log"
{ dpkg-query -W zelkora-desk 2>/dev/null || echo "unknown to dpkg"; } >"$out/status-after-purge"
# What is left of the package: any file, and any folder but one that holds others' files.
while read -r path; do
    { [ -e "$path" ] || [ -L "$path" ]; } && ! { [ -d "$path" ] && [ -n "$(ls -A "$path")" ]; } && echo "$path"
done <"$out/files" >"$out/left"
ls -d /usr/lib/zelkora-desk /etc/xdg/orvanel-works/* /home/alice/.local/state/orvanel-works/*/log/* \
    >"$out/kept" 2>/dev/null || true
