// jpg-handler-plugin: an image-handler plug-in (a shared object) for file names ending in "jpg".
// A host program (here the peer image-viewer) loads it with dlopen; the plug-in registers
// itself at load time by handing the host a record of its three entry points.
//
// What it must define, all inside extern "C" (the host and the loader look them up by these
// names), and no other global symbol (helpers static or in an anonymous namespace):
//  - int jpg_canHandle(const char *name): printf(" Checking whether I can handle %s or not \n",
//    name); then take the last three characters of the name (a name shorter than three is its
//    own suffix: never read before its start) and printf(" end = %s\n", suffix); return 1 if
//    the suffix is exactly "jpg" (strcmp: case matters, no dot needed), else 0.
//  - int jpg_drawImage(const char *name): call jpg_canHandle(name); if it gave 0, return 0
//    and print nothing more; else printf(" How is this image %s \n", name) and return 1.
//  - int jpg_savefile(): puts(" file saved by jpg handler "); return 1.
//  - image_handler jpghandler = {jpg_canHandle, jpg_drawImage, jpg_savefile}: the record
//    (image-handler.hpp), writable data.
//  - int _init(): puts(" registering jpghandler "); reg_handler(&jpghandler); return 0.
//    The build links the plug-in without the standard start-up files (-nostartfiles), so the
//    loader runs this _init when it loads the plug-in and _fini when it unloads it.
//  - void _fini(): puts(" Un registering jpghandler "). The record is not withdrawn.
// reg_handler is the host's: declared in image-handler.hpp, left undefined here. Of the C
// library use only printf, puts, strlen and strcmp (the plug-in needs libc.so.6 alone).
//
// Run it: echo 'open holiday.jpg' | image-viewer build/native/lib/jpg-handler-plugin.so
// (the host takes "open NAME", "can N NAME", "draw N NAME", "save N" and "quit").
// Checked by: exercise/exercise check jpg-handler-plugin jpg-handler-plugin.cpp
#include <cstdio>
#include <cstring>

#include "image-handler.hpp"

extern "C" {

// Your entry points, record, _init and _fini.

}  // extern "C"
