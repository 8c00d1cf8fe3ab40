// The "Build Alias Table" handler: runs the alias table build
// (aliastable/alias_table_build.h) for the browser. A refused build ends the
// page with its reason; once the new generation has its files the page says
// so and is handed over, and the build goes on in a detached child process.
// Reads no form fields. Touches the directory, the alias table directory and
// standard output (closed once the page is complete).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "aliastable/alias_table_build.h"
#include "html/page_frame.h"
#include "pages/aliastable/alias_table_pages.h"

namespace {

// Hands the finished page to the web server and goes on detached from the
// request. A web server ends a CGI process as soon as its answer is complete
// (lighttpd sends SIGTERM at the end of standard output), so the build goes
// on in a child of its own session, and the web server learns that the page
// is complete only once that child is detached: the process it started exits
// and the child lets go of standard output. Without a child (fork failed)
// the build goes on in this process.
void HandPageOver() {
    fflush(stdout);
    int ready[2];
    bool handshake = pipe2(ready, O_CLOEXEC) == 0;
    pid_t child = fork();
    if (child > 0) {
        if (handshake) {
            close(ready[1]);
            char byte;
            while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {}
        }
        _exit(0);  // no destructors: the child owns the session and the files
    }
    if (child == 0) {
        setsid();
        if (handshake) {
            close(ready[0]);
            close(ready[1]);  // tells the parent the child is detached
        }
    } else if (handshake) {
        close(ready[0]);
        close(ready[1]);
    }
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        close(null);
    } else {
        close(STDOUT_FILENO);
    }
}

class BuildPage : public AliasBuildObserver {
public:
    void Refused(const char* message) override { PrintResultPageAndEnd(message); }
    void Started(unsigned long number) override {
        printf("<p>The Mail Alias Table will now be built in the background ( Sequence # is %lu ).</p>",
               number);
        printf("<p>The new database will be ready for the Preprocessor in approx. two minutes.</p>");
        PrintPageEnd();
        HandPageOver();
    }
};

}  // namespace

int BuildAliasTable() {
    PrintPageHeader("Build Alias Table");
    BuildPage page;
    RunAliasTableBuild(page);
    return 0;
}
