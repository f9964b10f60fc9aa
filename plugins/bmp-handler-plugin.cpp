// bmp-handler-plugin: an image-handler plug-in for file names ending in "bmp". When a host loads
// it, the loader runs its _init (load line, then its record bmphandler handed to the host's
// reg_handler); when the host unloads it, its _fini (unload line). Built without the standard
// start-up files, so these two are the object's own load and unload entry points. Watch it:
//   image-viewer lib/bmp-handler-plugin.so    then type: open photo.bmp
// The record is not withdrawn at unload: the host must forget it itself.
#include <cstdio>
#include <cstring>

#include "image-handler.hpp"

namespace {
constexpr const char *kExtension = "bmp";
constexpr std::size_t kExtensionLength = 3;  // a file is recognised by its last three characters
}  // namespace

extern "C" {

int bmp_canHandle(const char *name);
int bmp_drawImage(const char *name);
int bmp_savefile();

// Writable, as the host receives its address and the record stays the plug-in's own.
image_handler bmphandler = {bmp_canHandle, bmp_drawImage, bmp_savefile};

int bmp_canHandle(const char *name) {
    printf(" Checking whether I can handle %s or not \n", name);
    // A name shorter than the extension is its own suffix: never read before its start.
    const std::size_t length = strlen(name);
    const char *end = length < kExtensionLength ? name : name + length - kExtensionLength;
    printf(" end = %s\n", end);
    return strcmp(end, kExtension) == 0 ? 1 : 0;
}

int bmp_drawImage(const char *name) {
    if (bmp_canHandle(name) == 0)
        return 0;
    printf(" How is this image %s \n", name);
    return 1;
}

int bmp_savefile() {
    puts(" file saved by bmp handler ");
    return 1;
}

int _init() {
    puts(" registering bmphandler ");
    reg_handler(&bmphandler);
    return 0;
}

void _fini() {
    puts(" Un registering bmphandler ");
}

}  // extern "C"
