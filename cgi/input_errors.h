// Fatal input errors of the request decoder: the diagnostic goes to standard
// error and the decoder returns kFormInputFatal, so that the dispatcher ends
// the request with status 1 before anything reaches standard output.
// Internal to cgi/.
#ifndef LDAPCGI_CGI_INPUT_ERRORS_H
#define LDAPCGI_CGI_INPUT_ERRORS_H

// Writes `message` and a newline to standard error; returns kFormInputFatal.
int ReportInputError(const char* message);

#endif
