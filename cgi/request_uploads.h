// The folder of one request's uploaded files: made under /tmp on the
// request's first upload, private to it (mode 0700), and removed with every
// file in it when the request ends, whatever the outcome.
#ifndef LDAPCGI_CGI_REQUEST_UPLOADS_H
#define LDAPCGI_CGI_REQUEST_UPLOADS_H

#include <cstdio>

// The folder's path, or null when the request has no upload. A handler that
// needs an upload reads it from there before it returns.
const char* RequestUploadFolder();
// Removes the folder and its files; done at process exit, and when a new
// request is decoded in the same process.
void RemoveRequestUploads();
// Creates `baseName` (a plain file name), new, in the folder, making the
// folder first; null when that fails.
FILE* CreateRequestUpload(const char* baseName);

#endif
