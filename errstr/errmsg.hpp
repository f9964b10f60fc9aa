// The message rule that both thread-safe strerror objects share: a known number's text from
// the table (written at build time from the C library's texts), cut to fit the 256-byte
// buffer; any other number as "Unknown error %d". Everything here has internal linkage, so
// each object keeps its own copy and exports nothing but strerror.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "errlist.hpp"

namespace {

// One buffer per thread; the longest text kept is kBufSize - 1 bytes.
constexpr std::size_t kBufSize = 256;

// True when err has a text in table: not negative, below count, entry not null (in this
// order, so the entry is read only when it exists).
inline bool knownError(int err, const char *const table[] = kErrList, int count = kErrCount) {
    return err >= 0 && err < count && table[err] != nullptr;
}

// The message for err into buf (kBufSize bytes). A known text is copied with strncpy, which
// fills the rest up to byte 254 with zeros; byte 255 is then zeroed, so a text of 255 bytes or
// more is cut to 255 and still ends. An unknown number always fits: at most 25 characters.
inline void fillMessage(char *buf, int err, const char *const table[] = kErrList,
                        int count = kErrCount) {
    if (knownError(err, table, count)) {
        std::strncpy(buf, table[err], kBufSize - 1);
        buf[kBufSize - 1] = '\0';
    } else {
        std::snprintf(buf, kBufSize, "Unknown error %d", err);
    }
}

}  // namespace
