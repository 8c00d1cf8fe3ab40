// Start-up library stand-in: the CGI needs nothing initialised.
#include "platform/qrt/qrt.h"

int InitQRTDll_NOMQ(const char* /*application*/) { return 0; }
