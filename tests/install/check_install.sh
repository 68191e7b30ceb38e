#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under the prefix /usr and checks the tree: every
# file in its place, the desktop entry, the AppStream file, the mime type and the manual pages
# valid, the bash completion completing, and the installed programs printing their version.
# usage: check_install.sh BUILD_DIR VERSION APP_ID
set -euo pipefail
build=$1
version=$2
id=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr
share=$root/share

for file in bin/torvale bin/torvale-batch "share/applications/$id.desktop" \
    "share/metainfo/$id.metainfo.xml" "share/mime/packages/$id.xml" \
    "share/icons/hicolor/scalable/apps/$id.svg" share/man/man1/torvale.1.gz \
    share/man/man1/torvale-batch.1.gz share/bash-completion/completions/torvale-batch \
    share/doc/torvale/copyright share/doc/torvale/changelog.gz \
    share/doc/torvale/guide/index.html share/torvale/examples/badge/badge.dat \
    share/torvale/examples/staff-card/staff-card.dat \
    share/torvale/examples/event-badge/event-badge.dat \
    share/torvale/examples/international/international.dat; do
    [[ -f $root/$file ]] || fail "$file is not installed"
done
for size in 16 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$id.png
    [[ $(identify -format '%wx%h' "$png") == "${size}x${size}" ]] || fail "$png is not $size px"
done
# Every picture the guide shows is installed beside it, and it names nothing on the web.
guide=$share/doc/torvale/guide
while read -r picture; do
    [[ -f $guide/$picture ]] || fail "the guide's picture $picture is not installed"
done < <(grep -o '<img [^>]*src="[^"]*"' "$guide/index.html" | sed 's/.*src="//; s/"$//')
! grep -q -E '(src|href)="(https?:)?//' "$guide/index.html" || fail "the guide loads from the web"

desktop-file-validate "$share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "$(appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml")"
mkdir -p "$stage/mime/packages"
cp "$share/mime/packages/$id.xml" "$stage/mime/packages/"
update-mime-database "$stage/mime" || fail "mime type"
grep -q '^application/x-torvale-template$' "$stage/mime/types" || fail "mime type not registered"

# man as lintian runs it: any warning of groff is printed on standard error.
for page in torvale torvale-batch; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page.1: $warnings"
done

[[ $("$root/bin/torvale-batch" --version) == "torvale-batch $version" ]] || fail "batch version"
[[ $("$root/bin/torvale" --version) == "torvale $version" ]] || fail "editor version"

# The completion as bash runs it after <Tab>: COMP_WORDS and COMP_CWORD set, the function called.
mkdir -p "$stage/work/folder"
touch "$stage/work/badge.dat" "$stage/work/staff.csv" "$stage/work/staff.xlsx" \
    "$stage/work/cards.pdf"
completions() {
    (cd "$stage/work" && bash -c 'source "$1"; shift; COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _torvale_batch; echo "${COMPREPLY[*]}"' \
        _ "$share/bash-completion/completions/torvale-batch" torvale-batch "$@")
}
[[ $(completions ru) == run ]] || fail "'torvale-batch ru<Tab>' gives '$(completions ru)'"
[[ $(completions run "") == "badge.dat folder" ]] || fail "run <Tab>: $(completions run "")"
[[ $(completions sheet badge.dat --out "") == "cards.pdf folder" ]] || fail "sheet --out <Tab>"
[[ $(completions run badge.dat --csv "") == "staff.csv staff.xlsx folder" ]] || fail "--csv <Tab>"
[[ $(completions sheet badge.dat --paper "") == "A4 A3 A5 Letter" ]] || fail "--paper <Tab>"
[[ $(completions check badge.dat --r) == "--rows" ]] || fail "check --r<Tab>"
echo "installed tree ok"
