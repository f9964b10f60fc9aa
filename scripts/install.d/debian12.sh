# shellcheck shell=bash
# Debian 12's archive through a private apt configuration, whatever release the machine runs:
# its own sources (bookworm and bookworm-updates, main, amd64 and i386; bookworm-security for
# amd64 alone, where Debian 12's 6.12 kernel is: apt drops a whole suite when one of its
# lists fails, and a mirror has been seen serving a stale i386 list there),
# package lists, download cache and an empty dpkg status, so that `apt-get download` fetches
# Debian 12's packages while the machine's sources, dpkg architectures and installed packages
# stay as they are. The kernels the modules are tested in all come from here (the debug
# kernel's source too): Debian 13 has no 686 kernel and no 6.1.
#   debian12_update            fetch the package lists (once per install run; a list that
#                              cannot be fetched is left out, with a warning)
#   debian12 TOOL ARGS...      run apt-get or apt-cache on Debian 12's lists
#   debian12_fetch DIR PKG...  download PKG... (name[:arch][=version]) into DIR
# Sourced by the install steps, after scripts/paths.sh (the mirrors and the keyring) and
# scripts/progress.sh; they set `cache` (the kernel cache folder) first.

debian12_dir=${cache:?}/apt-debian12
debian12_opts=(
    -o APT::Sandbox::User=root
    -o Dir::Etc::SourceList="$debian12_dir/sources.list" -o Dir::Etc::SourceParts="$debian12_dir/none"
    -o Dir::Etc::Preferences=/dev/null -o Dir::Etc::PreferencesParts="$debian12_dir/none"
    -o Dir::State::Lists="$debian12_dir/lists" -o Dir::State::status="$debian12_dir/status"
    -o Dir::Cache="$debian12_dir" -o Dir::Cache::archives="$debian12_dir/archives"
    -o APT::Architecture=amd64 -o APT::Architectures::=amd64 -o APT::Architectures::=i386
)

debian12_update() {
    local mirror=$MECH_DEBIAN_MIRROR security=$MECH_DEBIAN_SECURITY_MIRROR
    local keyring=${mech_debian_keyring:?}
    mkdir -p "$debian12_dir"/{lists/partial,archives/partial,none}
    : >"$debian12_dir/status"
    cat >"$debian12_dir/sources.list" <<EOF
deb [arch=amd64,i386 signed-by=$keyring] $mirror bookworm main
deb [arch=amd64,i386 signed-by=$keyring] $mirror bookworm-updates main
deb [arch=amd64 signed-by=$keyring] $security bookworm-security main
EOF
    # A list that a mirror fails to give (one in the middle of a sync, say) is left out with a
    # warning: the steps choose among the packages the other lists hold.
    apt-get "${debian12_opts[@]}" update -qq ||
        echo "warning: some of Debian 12's package lists could not be fetched; going on without them"
}

debian12() {
    local tool=$1
    shift
    "$tool" "${debian12_opts[@]}" "$@"
}

debian12_fetch() {
    local dir=$1
    shift
    mkdir -p "$dir"
    (cd "$dir" && progress_retry apt-get "${debian12_opts[@]}" download -qq "$@")
}
