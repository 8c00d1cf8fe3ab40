// Helpers for the CGI library's tests: a clean CGI environment per test,
// standard input fed from given bytes, standard output captured, and the
// decoded list as plain pairs for comparison.
#ifndef LDAPCGI_TESTS_CGI_TEST_SUPPORT_H
#define LDAPCGI_TESTS_CGI_TEST_SUPPORT_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cgi/form_entries.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The list's entries in order.
Pairs EntriesOf(const FormEntryList& list);

// Unsets every variable the decoder and the emitters read.
void ClearCgiEnvironment();

// Makes `bytes` the whole of standard input (from a temporary file).
void FeedStdin(const std::string& bytes);

// Runs `print` and returns what it wrote to standard output.
std::string CaptureStdout(const std::function<void()>& print);

// A fresh directory under the build tree, removed with its files by the caller
// through RemoveTree.
std::string MakeTempDir();
void RemoveTree(const std::string& path);

// A file name unique to this process and call, for files that must live in /tmp.
std::string UniqueName(const std::string& stem);

std::string ReadFile(const std::string& path);

#endif
