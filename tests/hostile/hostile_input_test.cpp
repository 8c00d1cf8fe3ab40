// Hostile input for every command of the command table, sent as a browser on
// our own pages would send it (POST, url-encoded or multipart, same origin)
// to the real executable against the sandbox directory. Every answer must be
// a complete page (or the exact invalid-request page, or nothing where the
// request names no command or is too large), end without a signal or a
// sanitizer report, print no injected markup unescaped, and leave the
// directory as it was, or changed exactly as asked when the page reports a
// change. Each command's working request is also forged (refused when it
// changes the directory, with an audit line) and sent from our pages in other
// browsers and from tools (served). Commands run in parallel, each on a
// directory server of its own; a changing command's directory is read after
// each request and put back as seeded after a change.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/hostile/hostile_cases.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;

const string kHost = "mail.example.com";
constexpr std::size_t kMaxPostBody = 8192;  // larger url-encoded bodies or fields end the request, status 1
constexpr int kLanes = 3;  // directory servers, each serving one command's requests at a time
constexpr std::size_t kMaxReportsPerCommand = 8;
constexpr std::size_t kLongValue = 64;  // values this long are checked for being printed whole
#ifdef LDAPCGI_HOSTILE_DECODING_AND_ESCAPING_ONLY
constexpr bool kSendersToo = false;  // the sanitizer build sends no forged requests
#else
constexpr bool kSendersToo = true;
#endif

// A request in a browser's headers, and whether it goes as a multipart body.
struct Sender {
    const char* name;
    bool forged;  // from elsewhere than our pages: a changing command is refused
    Environment headers;
    bool multipart = false;
};

// Forged requests, then our own pages in other browsers' headers, and tools
// that send no origin headers.
const Sender kSenders[] = {
    {"GET", true, {{"REQUEST_METHOD", "GET"}}},
    {"GET from a same-origin page",
     true,
     {{"REQUEST_METHOD", "GET"}, {"HTTP_SEC_FETCH_SITE", "same-origin"}}},
    {"cross-site form", true, {{"HTTP_SEC_FETCH_SITE", "cross-site"}}},
    {"same-site form", true, {{"HTTP_SEC_FETCH_SITE", "same-site"}}},
    {"foreign Origin", true, {{"HTTP_ORIGIN", "https://evil.example.net"}}},
    {"opaque Origin", true, {{"HTTP_ORIGIN", "null"}}},
    {"cross-site multipart", true, {{"HTTP_SEC_FETCH_SITE", "cross-site"}}, true},
    {"foreign-Origin multipart", true, {{"HTTP_ORIGIN", "http://evil.example.net"}}, true},
    {"http page to https", true, {{"HTTP_ORIGIN", "http://" + kHost}, {"HTTPS", "1"}}},
    {"text/plain", true, {{"CONTENT_TYPE", "text/plain"}}},
    {"page on another port",
     false,
     {{"HTTP_SEC_FETCH_SITE", "same-origin"},
      {"HTTP_ORIGIN", "http://" + kHost + ":8080"},
      {"HTTP_HOST", kHost + ":8080"}}},
    {"typed address", false, {{"HTTP_SEC_FETCH_SITE", "none"}}},
    {"page under no-referrer", false, {{"HTTP_SEC_FETCH_SITE", "same-origin"}, {"HTTP_ORIGIN", "null"}}},
    {"script", false, {{"CONTENT_TYPE", ""}}},
    {"multipart from our page", false, kOwnPage, true},
};

bool Has(const string& text, const string& part) { return text.find(part) != string::npos; }

// Injected markup printed as markup: scripts and images other than the
// page's own, event handlers, and the marker "zq" right after a raw markup character.
string EscapeFaults(string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const string own : {"<script>\nfunction popup(", "\n<script>\n<!--\nfunction emailvalidation(",
                             "<img src=\"../module-pictures/images/"})
        for (std::size_t at; (at = text.find(own)) != string::npos;) text.erase(at, own.size());
    string faults;
    for (const char* raw : {"<script", "<img", "<svg", "onerror=", "onload="})
        if (Has(text, raw)) faults += string("raw ") + raw + "; ";
    for (std::size_t at = text.find("zq"); at != string::npos; at = text.find("zq", at + 1))
        if (at > 0 && strchr("<>\"'`=", text[at - 1]) != nullptr) {
            faults += "unescaped marker: ..." + text.substr(at < 30 ? 0 : at - 30, 40) + "...; ";
            break;
        }
    return faults;
}

// Whether a command's row comes before NewUser's, out of reach of NewUser's Submit.
bool BeforeNewUser(const CommandModel* model) {
    for (const CommandModel& row : Commands())
        if (row.command == "NewUser") return model < &row;
    return false;
}

// What is wrong with the answer to a case, "" when nothing.
string AnswerFaults(const Case& c, const ProcessResult& r, bool refused = false) {
    string faults;
    if (r.exitStatus != 0 && r.exitStatus != 1)
        faults += "exit status " + std::to_string(r.exitStatus) + "; ";
    if (Has(r.err, "Sanitizer") || Has(r.err, "runtime error"))
        faults += "sanitizer: " + r.err.substr(0, 300);
    const char *command = Value(c.fields, "Command"), *submit = Value(c.fields, "Submit");
    bool oversized = !c.multipart && Body(c).size() > kMaxPostBody, nul = false;
    for (const SentField& f : c.fields) {
        oversized |= f.value.size() > kMaxPostBody;
        nul |= f.value.find('\0') != string::npos;
    }
    if (oversized && (!r.out.empty() || r.exitStatus != 1))
        faults += "an oversized body must end with status 1 and no page; ";
    if (oversized) return faults;
    // NewUser answers only to its own Submit: without one, nothing; with another, the invalid-request page.
    const bool newUser = c.model != nullptr && c.model->command == "NewUser";
    const bool invalid =
        refused || nul ||
        (command != nullptr &&
         (c.model == nullptr || (newUser && submit != nullptr && strcasecmp(submit, "Create User") != 0))) ||
        (command != nullptr && strcasecmp(command, "NewUser") == 0 && BeforeNewUser(c.model));
    const bool nothing = !invalid && (command == nullptr || (newUser && submit == nullptr));
    if (nothing && !r.out.empty()) faults += "an answer where none was due; ";
    if (invalid && r.out != ExpectedPage("invalid_request")) faults += "not the invalid-request page; ";
    if (!invalid && !nothing) faults += PageShapeFaults(r.out);
    // A long value that the page prints must be printed whole.
    for (const SentField& f : c.fields) {
        string escaped;
        for (unsigned char b : f.value)
            escaped += isalnum(b) || b == '-' || b == '.' ? string(1, b) : "&#" + std::to_string(b) + ";";
        if (f.value.size() >= kLongValue && Has(r.out, escaped.substr(0, kLongValue)) && !Has(r.out, escaped))
            faults += "a cut " + f.name + " value; ";
    }
    return faults + EscapeFaults(r.out);
}

// The faults found for one command: the first few are reported, then their number.
struct Group {
    string name;
    std::size_t faults = 0;
    void Report(const string& what, const string& found) {
        if (!found.empty() && faults++ < kMaxReportsPerCommand)
            ADD_FAILURE() << name << ", " << what << found;
    }
    ~Group() {
        if (faults > kMaxReportsPerCommand) ADD_FAILURE() << name << ": " << faults << " faults in all";
    }
};

// The directory after a case against what it should be; put back as seeded.
string DirectoryFaults(Lane& lane, const Case& c, const string& page) {
    Dump after;
    if (!lane.Read(&after)) return "directory not readable";
    const bool changed = c.model != nullptr && c.model->changes && Has(page, c.model->success);
    string faults = c.mustChange && !changed ? "the working request changed nothing; " : "";
    Dump expected = changed ? Expected(lane.seed, c) : lane.seed, actual = after;
    if (c.model != nullptr && c.model->command == "BuildAliasTable") {
        // The build changes only the profile strings, below "cn=profiles", and publishes its sequence.
        string sequence;
        for (const auto& [dn, attr, value] : after) {
            if (Has(dn, "cn=profiles")) actual.erase({dn, attr, value});
            if (dn == "cn=aliassequence,cn=preprocessor,cn=profiles" && attr == "xoprofilevalue")
                sequence = value;
        }
        if (changed && (sequence.empty() || sequence.find_first_not_of("0123456789") != string::npos))
            faults += "alias sequence not published; ";
    }
    if (actual != expected)
        faults += string(changed ? "directory not changed as asked" : "directory changed") + ":\n" +
                  Difference(expected, actual);
    if (after != lane.seed && !lane.Restore()) faults += "directory not restored; ";
    return faults;
}

// The working request of a command from every sender: forged, a changing
// command (by its own row or through NewUser's Submit) gets the invalid-request
// page, an audit line and no change, a reading one its page; from our pages
// and tools, a change is made.
void RunSenders(Lane& lane, const CommandModel* model, Group* group) {
    Case own = CasesFor(model).front(), viaNewUser = own;
    if (model->command != "NewUser") {
        viaNewUser.fields[0] = {"Command", "NewUser"};
        viaNewUser.fields.insert(viaNewUser.fields.begin() + 1, {"Submit", model->command});
    }
    auto run = [&](const Sender& sender, Case c) {
        c.mustChange = model->changes && !sender.forged;
        c.multipart = sender.multipart;
        const bool plainText = sender.headers.count("CONTENT_TYPE") != 0 && sender.forged;
        lane.server.ClearLog();
        ProcessResult result = Send(lane, c, sender.headers);
        string faults = AnswerFaults(c, result, sender.forged && (model->changes || plainText));
        if (model->changes) faults += DirectoryFaults(lane, c, result.out);
        const int lines = CountLogLines(lane.server.ReadLog(),
                                        "command=\"" + model->command + "\" request result=refused (");
        if (lines != (sender.forged && model->changes && !plainText))
            faults += "refusal audit lines: " + std::to_string(lines) + "; ";
        group->Report(sender.name + string(c.fields[0].value != model->command ? " through NewUser: " : ": "),
                      faults);
    };
    // A reading command is sent as a GET only; our own pages send no command through NewUser.
    for (const Sender& sender : kSenders)
        for (const Case* c : {&own, &viaNewUser})
            if ((model->changes || &sender == &kSenders[0]) && (sender.forged || c == &own)) run(sender, *c);
}

// Every case of one command, in one lane. A reading command's cases are
// checked against the directory once at the end, a changing command's one by one.
void RunGroup(Lane& lane, const CommandModel* model) {
    Group group{model ? model->command : "(Command field)"};
    const bool changing = model != nullptr && model->changes;
    if (changing && model->success.empty()) return group.Report("no success text written for it", " ");
    for (const Case& c : CasesFor(model)) {
        ProcessResult result = Send(lane, c);
        group.Report(c.what + ": ",
                     AnswerFaults(c, result) + (changing ? DirectoryFaults(lane, c, result.out) : ""));
    }
    if (kSendersToo && model != nullptr) RunSenders(lane, model, &group);
    if (!changing) group.Report("after every request: ", DirectoryFaults(lane, {model, "", {}}, ""));
}

TEST(HostileInput, EveryCommandWithEveryFieldHostileGivesAnEscapedCompletePageAndLosesNothing) {
    Lane lanes[kLanes];
    for (Lane& lane : lanes) ASSERT_TRUE(lane.Open() && lane.Configure());
    // The largest groups first, so that the lanes end together.
    std::vector<const CommandModel*> models = {nullptr};
    for (const CommandModel& model : Commands()) models.push_back(&model);
    std::stable_sort(models.begin(), models.end(), [](const CommandModel* a, const CommandModel* b) {
        auto weight = [](const CommandModel* s) { return (s && s->changes ? 2 : 1) * CasesFor(s).size(); };
        return weight(a) > weight(b);
    });
    Share(kLanes, models.size(), [&](int lane, std::size_t k) { RunGroup(lanes[lane], models[k]); });
}

}  // namespace
