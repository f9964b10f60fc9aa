// make-errlist: writes the message table that the errstr objects compile in, taken from the
// C library's own untranslated texts (strerrordesc_np), because the library no longer lets
// programs link its _sys_errlist and _sys_nerr. Run by the build: make-errlist OUTPUT.
// The count is one more than the highest number that has a text; numbers below it without a
// text get a null entry, as in the old table.
#include <cstdio>
#include <cstring>

namespace {

// Far above any error number Linux defines (they end below 150).
constexpr int kProbeLimit = 4096;

// A C++ string literal for text: quotes, backslashes and unprintable bytes escaped.
void writeLiteral(FILE *out, const char *text) {
    std::fputc('"', out);
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (*p == '"' || *p == '\\')
            std::fprintf(out, "\\%c", *p);
        else if (*p < 0x20 || *p >= 0x7f)
            std::fprintf(out, "\\%03o", *p);
        else
            std::fputc(*p, out);
    }
    std::fputc('"', out);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-errlist OUTPUT\n");
        return 2;
    }
    int count = 0;
    for (int err = 0; err < kProbeLimit; ++err)
        if (strerrordesc_np(err) != nullptr)
            count = err + 1;
    if (count == 0) {
        std::fprintf(stderr, "make-errlist: the C library gave no message texts\n");
        return 1;
    }

    FILE *out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Written by make-errlist from the C library's message texts; do not edit.\n"
                 "#pragma once\n\nnamespace {\n\n"
                 "// Messages by error number; a null entry has no text.\n"
                 "constexpr int kErrCount = %d;\n"
                 "constexpr const char *kErrList[kErrCount] = {\n",
                 count);
    for (int err = 0; err < count; ++err) {
        const char *text = strerrordesc_np(err);
        std::fputs("    ", out);
        if (text != nullptr)
            writeLiteral(out, text);
        else
            std::fputs("nullptr", out);
        std::fprintf(out, ",  // %d\n", err);
    }
    std::fputs("};\n\n}  // namespace\n", out);
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
