# The image-handler plug-ins: one host loads all four and picks one plug-in per file.
scenario image-plugins "image-viewer loads the bmp, jpg, gif and tif plug-ins; each registers itself from its _init; the host picks one per file"
traces image-plugins openat,mmap

scenario_image_plugins() {
    local format plugins=()
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
}
