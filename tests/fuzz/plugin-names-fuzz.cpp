// Fuzzes the image-handler plug-ins' name matching with their real code (each plug-in's source
// compiled in, its _init and _fini renamed): every input is a file name, put at the very end
// of its heap block so that a read past it or before it is caught. Each plug-in must accept a
// name exactly when it ends in its extension, in canHandle and drawImage alike.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image-handler.hpp"

extern "C" {
int bmp_canHandle(const char *name);
int bmp_drawImage(const char *name);
int jpg_canHandle(const char *name);
int jpg_drawImage(const char *name);
int gif_canHandle(const char *name);
int gif_drawImage(const char *name);
int tif_canHandle(const char *name);
int tif_drawImage(const char *name);

// The host's side of the plug-in boundary; the renamed load entries are never called here.
void reg_handler(image_handler *) {}
}

namespace {

struct Plugin {
    const char *extension;
    int (*canHandle)(const char *);
    int (*drawImage)(const char *);
};
const Plugin kPlugins[] = {
    {"bmp", bmp_canHandle, bmp_drawImage},
    {"jpg", jpg_canHandle, jpg_drawImage},
    {"gif", gif_canHandle, gif_drawImage},
    {"tif", tif_canHandle, tif_drawImage},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    char *name = static_cast<char *>(malloc(size + 1));
    memcpy(name, data, size);
    name[size] = '\0';
    const std::size_t length = strlen(name);
    for (const Plugin &p : kPlugins) {
        const int expected = length >= 3 && strcmp(name + length - 3, p.extension) == 0;
        if (p.canHandle(name) != expected || p.drawImage(name) != expected) {
            fprintf(stderr, "plugin-names-fuzz: %s plug-in wrong about a name\n", p.extension);
            abort();
        }
    }
    free(name);
    return 0;
}
