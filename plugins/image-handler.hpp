// The plug-in boundary between the image-handler plug-ins and the host that loads them: the
// record of three entry points a plug-in registers, and the host's registration function,
// which each plug-in's _init calls with the address of its record.
#pragma once

extern "C" {

struct image_handler {
    int (*canHandle)(const char *name);  // 1: the plug-in handles this file name, 0: it does not
    int (*drawImage)(const char *name);  // 1: drawn, 0: refused
    int (*savefile)();                   // reads no argument; always 1
};

// Defined and exported by the host; a plug-in leaves it undefined (no version, no library
// named for it), so the loader resolves it in the loading process's global scope.
void reg_handler(image_handler *record);
}
