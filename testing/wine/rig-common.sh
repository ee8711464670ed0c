# Shared by the prefix wrapper scripts: finds the native tvsp-prefix-rig tool and the prefix.
# shellcheck shell=bash

rig_here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")

# $TVSP_PREFIX_RIG, else tvsp-prefix-rig on PATH, else the default native build folder.
find_prefix_rig() {
    local candidate
    for candidate in "${TVSP_PREFIX_RIG:-}" "$(command -v tvsp-prefix-rig 2>/dev/null)" \
                     "$rig_here/../../build/native/testing/wine/tvsp-prefix-rig"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    echo "tvsp-prefix-rig not found: build the native tree or set TVSP_PREFIX_RIG" >&2
    return 1
}

# Leading "--prefix DIR" of the wrapper's arguments becomes WINEPREFIX.
take_prefix() {
    if [ "${1:-}" = --prefix ] && [ $# -ge 2 ]; then
        export WINEPREFIX=$2
        return 2
    fi
    return 0
}
