// image-viewer: a host for the image-handler plug-ins (a peer for the tests and the tour, not a
// deliverable). It exports reg_handler, loads each plug-in named on its command line (the
// plug-in's _init registers its record here), then reads commands on standard input:
//   open NAME                ask every record in load order; draw with the first that can
//   can N NAME, draw N NAME  call that entry of record N;  save N [ARG]  call its savefile
//   quit, or end of input    unload the plug-ins, last loaded first, and forget their records
// Every name goes to a plug-in right after an inaccessible page, so reading before its start
// crashes instead of passing unnoticed. Built twice: image-viewer-no-export hides reg_handler.
#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image-handler.hpp"

namespace {

struct Plugin {
    std::string path, base;  // as loaded, and its file name for messages
    void *handle = nullptr;
};

struct Record {
    image_handler *handler = nullptr;  // null once its plug-in is unloaded
    std::size_t plugin = 0;
};

std::vector<Plugin> plugins;
std::vector<Record> records;
char *guardedName = nullptr;  // the first byte after an inaccessible page
std::size_t guardedRoom = 0;

std::string symbolName(const void *address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_sname == nullptr)
        return "?";
    return info.dli_sname;
}

// A plug-in's entries and its record, described by the names the loader knows them by.
void describe(std::size_t index) {
    const image_handler *h = records[index].handler;
    printf("viewer: record %zu is %s of %s: %s, %s, %s\n", index, symbolName(h).c_str(),
           plugins[records[index].plugin].base.c_str(),
           symbolName(reinterpret_cast<const void *>(h->canHandle)).c_str(),
           symbolName(reinterpret_cast<const void *>(h->drawImage)).c_str(),
           symbolName(reinterpret_cast<const void *>(h->savefile)).c_str());
}

// RTLD_NOW: a plug-in whose reg_handler cannot be resolved fails to load, instead of ending
// the host when its _init makes the call.
bool load(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    plugins.push_back({path, slash == std::string::npos ? path : path.substr(slash + 1)});
    const std::size_t before = records.size();
    printf("viewer: loading %s\n", plugins.back().base.c_str());
    plugins.back().handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (plugins.back().handle == nullptr) {
        fprintf(stderr, "viewer: cannot load %s: %s\n", plugins.back().base.c_str(), dlerror());
        return false;
    }
    if (records.size() == before)
        printf("viewer: %s registered no record\n", plugins.back().base.c_str());
    for (std::size_t i = before; i < records.size(); ++i)
        describe(i);
    return true;
}

void unload(std::size_t index) {
    Plugin &p = plugins[index];
    if (p.handle == nullptr)
        return;
    printf("viewer: unloading %s\n", p.base.c_str());
    dlclose(p.handle);
    p.handle = nullptr;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].plugin == index && records[i].handler != nullptr) {
            records[i].handler = nullptr;
            printf("viewer: record %zu forgotten\n", i);
        }
    }
    void *still = dlopen(p.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr) {
        printf("viewer: %s is still mapped\n", p.base.c_str());
        dlclose(still);
    }
}

const char *guard(const std::string &name) {
    if (name.size() >= guardedRoom)
        return nullptr;
    memcpy(guardedName, name.c_str(), name.size() + 1);
    return guardedName;
}

image_handler *recordAt(long index) {
    if (index < 0 || static_cast<std::size_t>(index) >= records.size() ||
        records[static_cast<std::size_t>(index)].handler == nullptr) {
        fprintf(stderr, "viewer: no record %ld\n", index);
        return nullptr;
    }
    return records[static_cast<std::size_t>(index)].handler;
}

void openFile(const std::string &name) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        image_handler *h = records[i].handler;
        if (h == nullptr)
            continue;
        const int can = h->canHandle(guard(name));
        printf("viewer: record %zu canHandle = %d\n", i, can);
        if (can == 1) {
            printf("viewer: drawing %s with record %zu\n", name.c_str(), i);
            printf("viewer: record %zu drawImage = %d\n", i, h->drawImage(guard(name)));
            return;
        }
    }
    printf("viewer: no plug-in can handle %s\n", name.c_str());
}

// "can N NAME", "draw N NAME", "save N [ARG]": one entry of one record.
void call(const std::string &verb, const std::string &rest) {
    char *after = nullptr;
    const long index = strtol(rest.c_str(), &after, 10);
    if (after == rest.c_str()) {
        fprintf(stderr, "viewer: %s needs a record number\n", verb.c_str());
        return;
    }
    image_handler *h = recordAt(index);
    if (h == nullptr)
        return;
    const std::string name = *after == ' ' ? std::string(after + 1) : std::string(after);
    if (verb == "can") {
        printf("viewer: record %ld canHandle = %d\n", index, h->canHandle(guard(name)));
    } else if (verb == "draw") {
        printf("viewer: record %ld drawImage = %d\n", index, h->drawImage(guard(name)));
    } else if (name.empty()) {
        printf("viewer: record %ld savefile = %d\n", index, h->savefile());
    } else {
        // Deliberate: called with an argument, as a C caller of an unprototyped savefile may;
        // the entry reads none, so the calling convention makes this harmless.
        auto withArgument =
            reinterpret_cast<int (*)(const char *)>(reinterpret_cast<void (*)()>(h->savefile));
        printf("viewer: record %ld savefile(%s) = %d\n", index, name.c_str(),
               withArgument(guard(name)));
    }
}

bool makeGuardPage() {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *area =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED || mprotect(area, page, PROT_NONE) != 0) {
        perror("viewer: guard page");
        return false;
    }
    guardedName = static_cast<char *>(area) + page;
    guardedRoom = page;
    return true;
}

}  // namespace

// Called by each plug-in's _init while dlopen loads it.
extern "C" void reg_handler(image_handler *record) {
    records.push_back({record, plugins.size() - 1});
    printf("viewer: reg_handler: record %zu registered\n", records.size() - 1);
}

int main(int argc, char **argv) {
    if (!makeGuardPage())
        return 1;
    bool allLoaded = true;
    for (int i = 1; i < argc; ++i)
        allLoaded = load(argv[i]) && allLoaded;

    char *line = nullptr;
    std::size_t size = 0;
    ssize_t length;
    while ((length = getline(&line, &size, stdin)) >= 0) {
        std::string command(line, static_cast<std::size_t>(length));
        if (!command.empty() && command.back() == '\n')
            command.pop_back();
        const std::size_t space = command.find(' ');
        const std::string verb = command.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : command.substr(space + 1);
        if (verb == "quit")
            break;
        if (rest.size() >= guardedRoom)
            fprintf(stderr, "viewer: name too long\n");
        else if (verb == "open")
            openFile(rest);
        else if (verb == "can" || verb == "draw" || verb == "save")
            call(verb, rest);
        else if (!verb.empty())
            fprintf(stderr, "viewer: unknown command %s\n", verb.c_str());
    }
    free(line);

    for (std::size_t i = plugins.size(); i-- > 0;)
        unload(i);
    return allLoaded ? 0 : 1;
}
