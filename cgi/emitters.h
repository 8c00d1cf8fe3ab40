// One-line printers of CGI response headers and HTML elements, and a few
// text conversions. All print to standard output, unescaped.
#ifndef LDAPCGI_CGI_EMITTERS_H
#define LDAPCGI_CGI_EMITTERS_H

struct FormEntryList;

// Used by the page frame.
void PrintContentType();
void PrintTableStart(const char* align, int border, int cellspacing, int cellpadding, const char* width);
void PrintTableEnd();

// Response headers.
void PrintMimeHeader(const char* type);
void PrintNphHeader(const char* status);
void PrintLocation(const char* url);
void PrintStatus(const char* status);
void PrintPragma(const char* text);
void PrintSetCookie(const char* name, const char* value, const char* expires,
                    const char* path, const char* domain, int secure);

// HTML document and text.
void PrintHtmlBegin(const char* title, const char* refresh, const char* colour);
void PrintH1(const char* text);
void PrintH2(const char* text);
void PrintH3(const char* text);
void PrintH4(const char* text);
void PrintH5(const char* text);
void PrintH6(const char* text);
void PrintHiddenField(const char* name, const char* value);
void PrintCgiEnvironment();
void PrintFormEntries(const FormEntryList& list);

// Forms.
void PrintFormStart(const char* action, const char* method, const char* encodingType);
void PrintFormEnd();
void PrintTextInput(const char* name, const char* value, int maxLength, int size);
void PrintPasswordInput(const char* name, const char* value, int maxLength, int size);
void PrintHiddenInput(const char* name, const char* value);
void PrintRadioButton(const char* name, const char* value, int checked);
void PrintCheckbox(const char* name, const char* value, int checked);
void PrintSelectStart(const char* name, int size, int multiple);
void PrintOption(const char* value, const char* label, int selected);
void PrintSelectEnd();
void PrintSubmitButton(const char* name, const char* value);
void PrintResetButton(const char* label);

// Text conversions (newly allocated results unless said otherwise).
char* EscapeAngleBrackets(const char* text);
char* EscapeForShell(const char* text);
char* Substring(const char* text, int start, int length);
const char* IntToText(int number);   // static buffer, overwritten by the next call
bool AcceptsImages();

#endif
