# Sourced by the scripts that build a library from Debian's own sources (apt-get source).
# Needs $sudo set to "sudo" or "" (when running as root).

# apt-get source needs deb-src entries; adds them beside the system's binary sources, for
# the same archives and suites, once.
ensure_source_entries() {
    if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return
    fi
    local binary=/etc/apt/sources.list.d/debian.sources
    local entries=/etc/apt/sources.list.d/kaskade-deb-src.sources
    if [ -f "$binary" ]; then
        sed -E 's/^Types:.*/Types: deb-src/' "$binary" | $sudo tee "$entries" >/dev/null
    else
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            $sudo tee /etc/apt/sources.list.d/kaskade-deb-src.list >/dev/null
    fi
    $sudo apt-get update -q >/dev/null
}

# fetch_source FOLDER PACKAGE [APT_GET_OPTION...]: the package's source into FOLDER. A
# mirror may lack the newest version of a source package (security updates, say), so
# every version the archive lists is tried, newest first.
fetch_source() {
    local folder=$1 package=$2 version
    shift 2
    for version in $(apt-cache madison "$package" | awk -F'|' '/Sources/ { gsub(/ /, "", $2); print $2 }'); do
        if (cd "$folder" && apt-get source -q "$@" "$package=$version" >/dev/null 2>&1); then
            return
        fi
    done
    echo "could not fetch the Debian source of $package" >&2
    exit 1
}
