#!/usr/bin/env bash
# The packages in a fresh Debian root, as a user's machine would get them; run inside the root
# by tests/packages/root-test.sh (which gives it the tree at its own path, and CACHE):
#   in-root-check.sh REPO DEBS CACHE OUT RELEASE install|purge
#   in-root-check.sh REPO DEBS CACHE OUT RELEASE programs ARCH
# REPO is the source tree (the golden files), DEBS the built packages, CACHE a folder kept
# between runs for apt's package lists and downloads, OUT where the modules DKMS built and the
# root's kernel image are left for the VM (OUT/modules, OUT/kernel/kernel), RELEASE 12 or 13.
# install: the root's kernel headers (and what the checks use); a list of the root's files and
# packages; the packages installed from DEBS, every dependency from the archive (and on Debian
# 12 the i386 package beside the amd64 one); then DKMS's modules for the root's own kernel, the
# manual pages, the programs' exact output, and no path shared with any package of the archive
# (its Contents index).
# programs ARCH: four programs of ARCH's package print what their tests expect (root-test.sh
# runs it for i386 in the i686 VM where this kernel runs no 32-bit programs).
# purge: the packages purged, then what they brought with them, and the root's files compared
# with the list: nothing of the packages may remain, nor anything of DKMS's.
# Each check prints "ok: WHAT" or "FAILED: WHAT" and what was wrong; the status is 1 when one
# failed. The lists between the phases are kept in the root's /tmp.
set -uo pipefail
repo=$1 debs=$2 cache=$3 out=$4 release=$5 phase=$6 arch=${7:-amd64}
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
failed=0
# The kernel series each release's linux-headers-amd64 brings.
declare -A series=([12]=6.1 [13]=6.12)

ok() { echo "ok: $*"; }
fail() {
    echo "FAILED: $*"
    failed=1
}
step() { echo "--- $* ($SECONDS s)"; }

# The root's files, leaving out what changes by itself (as piuparts does): logs, caches, apt's
# and dpkg's own records, depmod's indexes of a kernel's modules, and the folders of other file
# systems.
files() {
    find / -xdev \( -path /var/log -o -path /var/cache -o -path /var/lib/apt -o -path /var/lib/dpkg \
        -o -path /tmp -o -path /root -o -path /etc/ld.so.cache -o -path /var/lib/man-db \
        -o -path '/usr/lib/modules/*/modules.*' \) -prune -o -print | sort
}
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | sort; }

phase_install() {
    # apt keeps its lists and downloads in CACHE, outside the root: a run fetches only what changed.
    mkdir -p "$cache/archives/partial" "$cache/lists/partial"
    printf '%s\n' "Dir::Cache::archives \"$cache/archives/\";" "Dir::State::Lists \"$cache/lists/\";" \
        'APT::Install-Recommends "false";' >/etc/apt/apt.conf.d/50mechanisms-cache

    step "Debian $release: the kernel headers and man-db"
    # On Debian 12 the i386 package goes beside the amd64 one. Its security suite is read for
    # amd64 alone: apt drops a whole suite when one of its lists fails, and a mirror has been
    # seen serving a stale i386 list there (as scripts/install.d/debian12.sh says).
    if [ "$release" = 12 ]; then
        sed -i 's|^deb \(http[^ ]*-security \)|deb [arch=amd64] \1|' /etc/apt/sources.list
        dpkg --add-architecture i386
    fi
    apt-get update -qq || echo "warning: some package lists could not be fetched; going on without them"
    apt-get install -y -qq linux-headers-amd64 man-db >/dev/null || { fail "installing the headers"; exit 1; }
    headers=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 | grep -o 'linux-headers-[^ ,]*' | head -n 1)
    kernel=${headers#linux-headers-}
    case "$kernel" in
    "${series[$release]}".*) ok "the root's kernel headers are Debian $release's $kernel" ;;
    *) fail "the root's kernel headers are $kernel, not of the ${series[$release]} series" ;;
    esac

    files >/tmp/before
    installed >/tmp/before-packages

    step "installing the packages from $debs"
    packages=("$debs"/mechanisms_*_amd64.deb "$debs"/mechanisms-common_*_all.deb "$debs"/mechanisms-dkms_*_all.deb)
    [ "$release" != 12 ] || packages+=("$debs"/mechanisms_*_i386.deb)
    if apt-get install -y "${packages[@]}" >/tmp/install.log 2>&1; then
        ok "apt-get install of ${#packages[@]} packages, their dependencies from the archive"
    else
        cat /tmp/install.log
        fail "apt-get install of the packages"
        exit 1
    fi
    dpkg -L mechanisms:amd64 mechanisms-common mechanisms-dkms >/tmp/ours
    [ "$release" != 12 ] || dpkg -L mechanisms:i386 >>/tmp/ours
    sort -u -o /tmp/ours /tmp/ours

    step "DKMS's modules for $kernel"
    status=$(dkms status)
    echo "$status"
    if grep -q "^mechanisms/[^,]*, $kernel, x86_64: installed" <<<"$status"; then
        ok "dkms status shows the modules built for $kernel"
    else
        fail "dkms status does not show the modules built for $kernel"
    fi
    rm -rf "$out/modules" "$out/kernel"
    mkdir -p "$out/modules" "$out/kernel"
    for name in pilecore pilefeed pilepeek1 pilepeek2; do
        found=$(find "/lib/modules/$kernel/updates" -name "$name.ko*" | head -n 1)
        case "$found" in
        *.ko) cp "$found" "$out/modules/" ;;
        *.ko.xz) xz -dc "$found" >"$out/modules/$name.ko" ;;
        *.ko.zst) zstd -dqc "$found" >"$out/modules/$name.ko" ;;
        *) fail "no $name.ko built by DKMS in /lib/modules/$kernel/updates" ;;
        esac
    done
    if modprobe --dry-run --show-depends -S "$kernel" pilefeed | grep -q 'pilecore\.ko'; then
        ok "modprobe pilefeed would load pilecore first, on $kernel"
    else
        fail "modprobe does not know pilefeed's dependency on pilecore"
    fi
    # The root's own kernel image, for the VM: downloaded, not installed.
    if apt-get install -y -qq -d "linux-image-$kernel" >/dev/null &&
        dpkg-deb --fsys-tarfile "$cache"/archives/linux-image-"$kernel"_*.deb |
        tar -xOf - "./boot/vmlinuz-$kernel" >"$out/kernel/kernel"; then
        ok "the root's kernel image linux-image-$kernel, for the VM"
    else
        fail "no kernel image linux-image-$kernel"
    fi

    step "the manual pages"
    mandb -q
    pages=0
    while read -r page; do
        name=${page##*/} name=${name%.gz} section=${name##*.} name=${name%.*}
        pages=$((pages + 1))
        man -w "$section" "$name" >/dev/null || fail "man -w $section $name finds no page"
        whatis -s "$section" "$name" >/dev/null || fail "whatis finds no $name($section)"
        [ -L "$page" ] && continue
        warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "groff warns on $page: $warnings"
    done < <(grep '^/usr/share/man/man[0-9]/' /tmp/ours)
    ok "$pages pages checked with man -w, whatis and groff's warnings"
    if man -P cat oracle-server 2>/dev/null | head -n 1 | grep -q '^ORACLE-SERVER(1)'; then
        ok "man oracle-server shows its page"
    else
        fail "man oracle-server does not show its page"
    fi

    step "no path of the packages is any other package's"
    # The archive's Contents indexes of the root's suites (main; the root's architectures and
    # "all"), fetched afresh with apt's own downloader. Not through apt-file: a mirror has been
    # seen serving a Contents file a little older than its Release, which apt then refuses.
    local mirror codename suite arch
    read -r _ mirror codename _ < <(grep -m1 '^deb ' /etc/apt/sources.list)
    rm -rf "$cache/contents"
    mkdir -p "$cache/contents"
    for suite in "$codename" "$codename-updates"; do
        for arch in $(dpkg --print-architecture) $(dpkg --print-foreign-architectures) all; do
            /usr/lib/apt/apt-helper -qq download-file "$mirror/dists/$suite/main/Contents-$arch.gz" \
                "$cache/contents/$suite-$arch.gz" >/dev/null 2>&1 ||
                { [ "$suite" != "$codename" ] || fail "no Contents-$arch of $suite from $mirror"; }
        done
    done
    # Every file and link of the packages (/usr/bin, /usr/sbin and /usr/lib also as /bin, /sbin
    # and /lib, which are the same folders), anything in their own folders, and no command of
    # PATH by a program's name: first the lines that hold such a name (grep -F, quick over the
    # whole index), then the exact paths among them. The index's paths have no leading slash.
    {
        grep -v '/$' /tmp/ours | while read -r path; do
            [ -d "$path" ] && [ ! -L "$path" ] && continue
            printf '^%s[[:space:]]\n' "$(sed 's/[][\.*^$+?(){}|]/\\&/g; s#^/usr/\(bin\|sbin\|lib\)/#(usr/)?\1/#; s#^/##' <<<"$path")"
        done
        printf '%s\n' '^usr/lib/[^/]*/mechanisms/' '^usr/src/mechanisms-' '^usr/share/doc/mechanisms'
        for program in /usr/lib/x86_64-linux-gnu/mechanisms/bin/*; do
            printf '^(usr/)?(local/)?(s?bin|games)/%s[[:space:]]\n' "${program##*/}"
        done
    } >/tmp/patterns
    { sed 's#.*/##' /tmp/ours | grep -v '^$'; echo mechanisms; } | sort -u >/tmp/names
    zcat "$cache"/contents/*.gz | grep -F -f /tmp/names | grep -E -f /tmp/patterns >/tmp/clashes
    if [ -s /tmp/clashes ] || ! zcat "$cache/contents/$codename-all.gz" "$cache/contents/$codename-$(dpkg --print-architecture).gz" |
        grep -E '^(usr/)?bin/ls[[:space:]]+utils/coreutils$' >/dev/null; then
        fail "paths shared with the archive's packages (or no Contents index):"
        cat /tmp/clashes
    else
        ok "$(wc -l </tmp/patterns) paths and names against Debian $release's Contents indexes: none shared"
    fi

}

phase_programs() {
    step "four programs of $arch, as their tests expect"
    # expect GOLDEN COMMAND...: COMMAND's standard output, error and status against the golden
    # files (GOLDEN.out, .err, .status; a missing one means empty, or status 0).
    expect() {
        local golden_name=$1 golden=$repo/tests/$1 status=0 want out=/dev/null err=/dev/null
        shift
        [ ! -e "$golden.out" ] || out=$golden.out
        [ ! -e "$golden.err" ] || err=$golden.err
        "$@" >/tmp/got.out 2>/tmp/got.err || status=$?
        want=$(cat "$golden.status" 2>/dev/null || echo 'exit status 0')
        if cmp -s "$out" /tmp/got.out && cmp -s "$err" /tmp/got.err && [ "exit status $status" = "$want" ]; then
            ok "$* prints what tests/$golden_name holds"
        else
            fail "$* (exit status $status, expected $want)"
            diff "$out" /tmp/got.out
            diff "$err" /tmp/got.err
        fi
    }
    # The programs' queues, semaphores and keys are fixed: the root has an IPC namespace and a
    # /dev/shm of its own (scripts/in-root.sh gives them, and so does the i686 VM's guest).
    {
        expect sysv/golden/sender-sent mechanisms --arch "$arch" sysv-typed-sender
        expect sysv/golden/receiver-a mechanisms --arch "$arch" sysv-typed-receiver-a
        expect sysv/golden/sem-missing mechanisms --arch "$arch" named-sem-wait
        expect posix-mq/golden/sender-no-queue mechanisms --arch "$arch" mq-sender
    } | tee /tmp/programs.log
    ! grep -q '^FAILED' /tmp/programs.log || failed=1
}

phase_purge() {
    step "purging the packages"
    purge=(mechanisms:amd64 mechanisms-common mechanisms-dkms)
    [ "$release" != 12 ] || purge+=(mechanisms:i386)
    apt-get purge -y -qq "${purge[@]}" >/dev/null || fail "apt-get purge of the packages"
    dkms status | grep mechanisms && fail "dkms still knows the modules"
    [ ! -e /var/lib/dkms/mechanisms ] || fail "/var/lib/dkms/mechanisms remains"
    # Then what they brought with them, as piuparts does: every package the root did not have
    # (apt counts libc6:i386 as essential, as libc6 is).
    mapfile -t brought < <(installed | comm -13 /tmp/before-packages -)
    [ "${#brought[@]}" = 0 ] || apt-get purge -y -qq --allow-remove-essential "${brought[@]}" >/tmp/purge.log 2>&1 ||
        { fail "apt-get purge of the ${#brought[@]} packages they brought: ${brought[*]}" && cat /tmp/purge.log; }
    while read -r path; do
        [ ! -e "$path" ] || [ -d "$path" ] || fail "$path remains after the purge"
    done </tmp/ours
    files >/tmp/after
    if diff /tmp/before /tmp/after >/tmp/left; then
        ok "after the purge the root's files are those it had before the install"
    else
        fail "the purge left the root changed (> added, < gone):"
        cat /tmp/left
    fi
}

case "$phase" in
install) phase_install && phase_programs ;;
programs) phase_programs ;;
purge) phase_purge ;;
*) echo "in-root-check: no phase $phase" >&2 && exit 2 ;;
esac
exit "$failed"
