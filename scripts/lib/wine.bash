# Part of the prelude (common.bash): Wine, and fresh prefixes that go with the script.

# Wine, as Debian installs it: the 64-bit loader and its server.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# Makes a fresh Wine prefix in a scratch folder of this run's own, $wine_scratch/wine,
# set up and exported as WINEPREFIX; the folder and whatever runs in the prefix go when
# the script exits. No Mono or Gecko prompts, no menu entries written into the real HOME,
# and no session bus for Wine and what runs under it: none is needed, and with dbus-x11
# and a display one would be autolaunched and outlive the run.
fresh_wine_prefix() {
    wine_scratch=$(mktemp -d)
    trap 'remove_wine_prefix' EXIT
    export WINEPREFIX="$wine_scratch/wine" WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DBUS_SESSION_BUS_ADDRESS=disabled:
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
}

remove_wine_prefix() {
    # Only this prefix's server, and whatever of ours still runs under it.
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$wine_scratch"
}
