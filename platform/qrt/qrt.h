// Start-up library of the mail system.
#ifndef LDAPCGI_PLATFORM_QRT_QRT_H
#define LDAPCGI_PLATFORM_QRT_QRT_H

int InitQRTDll_NOMQ(const char* application);

#endif
