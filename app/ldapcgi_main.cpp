// Entry point of the CGI executable: one request per process.
#include "app/dispatch.h"
#include "app/limits.h"
#include "platform/qrt.h"

int main() {
    InitQRTDll_NOMQ(APPLICATION_NAME);
    DispatchCommand();
    return 0;
}
