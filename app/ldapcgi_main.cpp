// Entry point of the CGI executable: one request per process.
#include "app/dispatch.h"
#include "base/limits.h"
#include "platform/qrt/qrt.h"

int main() {
    InitQRTDll_NOMQ(APPLICATION_NAME);
    return DispatchCommand();
}
