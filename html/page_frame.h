// The page frame every page shares (header, banners, footer, end), the result
// box, the complete error page, and the e-mail validation script. Texts are
// printed as given: callers escape what comes from users or the directory.
#ifndef LDAPCGI_HTML_PAGE_FRAME_H
#define LDAPCGI_HTML_PAGE_FRAME_H

void PrintPageHeader(const char* title);
void PrintPageBanner(const char* title);
void PrintPageFooter();
void PrintSectionBanner(const char* title);
void PrintPageEnd();
void PrintResultPage(const char* message);
// The result box and the page end: how a page ends on a failure.
void PrintResultPageAndEnd(const char* message);
// The complete "Internal error" page answering a request the system does not take.
void PrintInvalidRequestPage();
int PrintErrorPage(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));
void PrintEmailValidationScript(const char* field);

#endif
