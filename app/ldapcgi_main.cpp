// Entry point of the CGI executable: one request per process.
#include <csignal>
#include <cstdio>

#include "app/dispatch.h"
#include "base/limits.h"
#include "platform/qrt/qrt.h"

int main() {
    // Pages go out in blocks of this size (a list of a hundred thousand users
    // is 30 MB), byte for byte as printed. The buffer is given: without one,
    // glibc ignores the size and writes in blocks of 4 KB.
    static char pageOutput[kPageOutputBufferSize];
    setvbuf(stdout, pageOutput, _IOFBF, sizeof pageOutput);
    // A write past the file-size limit fails (EFBIG) and is reported, rather
    // than the signal ending the process after a change was made.
    signal(SIGXFSZ, SIG_IGN);
    InitQRTDll_NOMQ(APPLICATION_NAME);
    return DispatchCommand();
}
