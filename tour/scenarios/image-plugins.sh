# The image-handler plug-ins: one host loads all four and picks one plug-in per file.
scenario image-plugins "image-viewer loads the bmp, jpg, gif and tif plug-ins; each registers itself from its _init; the host picks one per file"
traces image-plugins openat,mmap

# _viewer_asks NAME N: the host's lines when it asks records 0 to N for NAME, record N saying
# yes (N 4: none says yes).
_viewer_asks() {
    local i
    for ((i = 0; i < 4; i++)); do
        echo "viewer: record $i canHandle = $((i == $2))"
        [ "$i" -ne "$2" ] || { printf 'viewer: drawing %s with record %d\nviewer: record %d drawImage = 1\n' "$1" "$i" "$i"; return; }
    done
    echo "viewer: no plug-in can handle $1"
}

scenario_image_plugins() {
    local format plugins=() i=0 host=''
    for format in bmp jpg gif tif; do
        plugins+=("$TOUR_LIB/$format-handler-plugin.so")
    done
    start viewer image-viewer "${plugins[@]}"
    wait_for viewer "record 3 is tifhandler"
    note "Each dlopen ran the plug-in's own _init: its load line, then a call of the host's exported reg_handler with the record's address."
    note "The host names what it got through dladdr: the record and its three entries belong to the plug-in just loaded."
    send viewer "open holiday.gif\n"
    wait_for viewer "How is this image holiday.gif"
    send viewer "open scan.tif\n"
    wait_for viewer "How is this image scan.tif"
    send viewer "open BMP.BMP\n"
    wait_for viewer "no plug-in can handle BMP.BMP"
    note "The host asks every plug-in in load order; each compares the last three characters of the name, case and all: BMP.BMP suits none."
    send viewer "save 0\n"
    wait_for viewer "savefile = 1"
    send viewer "quit\n"
    finish viewer
    note "dlclose ran each _fini, last loaded first; the records stay in the host, which forgets them itself."
    # The host's own lines: each record registered while its plug-in loads and named after it,
    # each file asked of the records in load order, the unloading in the reverse order.
    for format in bmp jpg gif tif; do
        host+="viewer: loading $format-handler-plugin.so
viewer: reg_handler: record $i registered
viewer: record $i is ${format}handler of $format-handler-plugin.so: ${format}_canHandle, ${format}_drawImage, ${format}_savefile
"
        i=$((i + 1))
    done
    host+="$(_viewer_asks holiday.gif 2)
$(_viewer_asks scan.tif 3)
$(_viewer_asks BMP.BMP 4)
viewer: record 0 savefile = 1"
    for format in tif:3 gif:2 jpg:1 bmp:0; do
        host+="
viewer: unloading ${format%:*}-handler-plugin.so
viewer: record ${format#*:} forgotten"
    done
    expect_that "the host's lines: records, files asked in load order, unloading" \
        test "$(lines_of viewer | grep '^viewer: ')" = "$host"
    expect_that "each dlclose ran its plug-in's _fini before the host forgot the record" \
        test "$(lines_of viewer | grep -A1 '^viewer: unloading' | grep -c ' Un registering ')" -eq 4
    expect_status viewer 0
}
