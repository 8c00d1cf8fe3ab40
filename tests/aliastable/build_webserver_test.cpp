// The build behind a real web server (lighttpd with mod_cgi, on a loopback
// port): the administrator gets the page while the extraction is still under
// way, and the build survives the web server ending the request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/aliastable/build_fixture.h"
#include "tests/aliastable/build_relay.h"
#include "tests/support/run_cgi.h"

namespace {

const char kLighttpd[] = "/usr/sbin/lighttpd";

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// lighttpd serving the CGI at /vemo/cgi-bin/ldapcgi.cgi from `folder`;
// stopped by the destructor.
class WebServer {
public:
    explicit WebServer(const std::string& folder) {
        std::string bin = folder + "/www/vemo/cgi-bin";
        if (system(("mkdir -p " + bin).c_str()) != 0) return;
        if (symlink(LDAPCGI_EXECUTABLE, (bin + "/ldapcgi.cgi").c_str()) != 0) return;
        port_ = FreePort();
        std::string environment = "\"XOMTA_CONFIG_DIR\" => \"" + DirectorySandbox::Get().ConfigDir() + "\"";
        if (getenv("ASAN_OPTIONS")) environment += ", \"ASAN_OPTIONS\" => \"" + std::string(getenv("ASAN_OPTIONS")) + "\"";
        std::ofstream(folder + "/lighttpd.conf")
            << "server.document-root = \"" << folder << "/www\"\n"
            << "server.bind = \"127.0.0.1\"\nserver.port = " << port_ << "\n"
            << "server.errorlog = \"" << folder << "/lighttpd-error.log\"\n"
            << "server.modules = (\"mod_cgi\", \"mod_setenv\")\ncgi.assign = (\".cgi\" => \"\")\n"
            << "setenv.set-environment = (" << environment << ")\n";
        pid_ = fork();
        if (pid_ == 0) {
            execl(kLighttpd, kLighttpd, "-D", "-f", (folder + "/lighttpd.conf").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            int fd = Connect(port_);
            if (fd >= 0) {
                close(fd);
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~WebServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Ready() const { return ready_; }

    // The body of the answer to a POST of `form`.
    std::string Post(const std::string& form) const {
        int fd = Connect(port_);
        if (fd < 0) return "";
        std::string request = "POST /vemo/cgi-bin/ldapcgi.cgi HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(form.size()) + "\r\n\r\n" + form;
        if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            close(fd);
            return "";
        }
        std::string answer;
        char buffer[16384];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
        close(fd);
        std::size_t body = answer.find("\r\n\r\n");
        return body == std::string::npos ? "" : answer.substr(body + 4);
    }

private:
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

std::string WaitForSequence(const std::string& wanted, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string stored = StoredSequence();
    while (stored != wanted && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stored = StoredSequence();
    }
    return stored;
}

TEST_F(AliasBuildTest, BuildBehindAWebServerAnswersAtOnceAndCompletes) {
    if (access(kLighttpd, X_OK) != 0) GTEST_SKIP() << "lighttpd not installed";
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(50, 2)));
    LdapRelay relay(Sandbox().Port(), 0);
    ASSERT_TRUE(relay.Ok());
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) +
                                      "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    WebServer server(scratch_.Path());
    ASSERT_TRUE(server.Ready());

    // The whole page arrives while the extraction is held back.
    std::string expected = BuildPage(1);
    EXPECT_EQ(server.Post("Command=BuildAliasTable"), expected.substr(expected.find("<html>")));
    EXPECT_TRUE(relay.WaitHolding(30));
    EXPECT_EQ(StoredSequence(), "0!");

    // The web server has ended the request; the build still completes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    relay.Release();
    EXPECT_EQ(WaitForSequence("1", 60), "1");
    EXPECT_TRUE(ToolCheck(tables_, "1"));
    EXPECT_EQ(TableRecords(tables_, "1").size(), 100u);
}

}  // namespace
