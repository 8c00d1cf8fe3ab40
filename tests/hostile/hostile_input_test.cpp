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

#include "tests/hostile/hostile_cases.h"
#include "tests/support/log_lines.h"

namespace {

constexpr std::size_t kMaxPostBody = 8192;  // larger url-encoded bodies or fields end the request, status 1
constexpr int kLanes = 3;               // directory servers, each serving one command's requests at a time
constexpr std::size_t kLongValue = 64;  // values this long are checked for being printed whole

// A request in a browser's headers, and whether it goes as a multipart body.
struct Sender {
    const char* name;
    bool forged;  // from elsewhere than our pages: a changing command is refused
    Environment headers;
    bool multipart = false;
};

const string kSite = "HTTP_SEC_FETCH_SITE", kType = "CONTENT_TYPE";

// Forged requests, then our own pages in other browsers' headers, and tools
// that send no origin headers.
const Sender kSenders[] = {
    {"GET", true, {{"REQUEST_METHOD", "GET"}}},
    {"cross-site form", true, {{kSite, "cross-site"}}},
    {"same-site form", true, {{kSite, "same-site"}}},
    {"foreign Origin", true, {{"HTTP_ORIGIN", "https://evil.example.net"}}},
    {"http page to https", true, {{"HTTP_ORIGIN", "http://mail.example.com"}, {"HTTPS", "1"}}},
    {"text/plain", true, {{kType, "text/plain"}}},
    {"typed address", false, {{kSite, "none"}}},
    {"script", false, {{kType, ""}}},
    {"multipart from our page", false, kOwnPage, true},
};

// Injected markup printed as markup in the lower-cased `text`: scripts and images other
// than the page's own, event handlers, and the marker "zq" right after a raw markup character.
string EscapeFaults(string text) {
    for (const string own : {"<script>\nfunction popup(", "\n<script>\n<!--\nfunction emailvalidation(",
                             "<img src=\"../module-pictures/images/"})
        for (std::size_t at; (at = text.find(own)) != string::npos;) text.erase(at, own.size());
    string faults;
    for (const char* raw : {"<script", "<img", "<svg", "onerror=", "onload="})
        if (Holds(text, raw)) faults += string("raw ") + raw + "; ";
    for (std::size_t at = text.find("zq"); at != string::npos; at = text.find("zq", at + 1))
        if (at > 0 && strchr("<>\"'`=", text[at - 1]) != nullptr) {
            faults += "unescaped marker: ..." + text.substr(at < 30 ? 0 : at - 30, 40) + "...; ";
            break;
        }
    return faults;
}

// What is wrong with the answer to a case, "" when nothing.
string AnswerFaults(const Case& c, const ProcessResult& r, bool refused = false) {
    string faults;
    if (r.exitStatus != 0 && r.exitStatus != 1)
        faults += "exit status " + std::to_string(r.exitStatus) + "; ";
    faults += SanitizerFaults(r.err);
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
    const bool newUser = c.model->command == "NewUser";
    const bool invalid =
        refused || nul ||
        (newUser && command != nullptr && submit != nullptr && strcasecmp(submit, "Create User") != 0);
    const bool nothing = !invalid && (command == nullptr || (newUser && submit == nullptr));
    if (nothing && !r.out.empty()) faults += "an answer where none was due; ";
    if (invalid && r.out != ExpectedPage("invalid_request")) faults += "not the invalid-request page; ";
    if (!invalid && !nothing) faults += PageShapeFaults(r.out);
    // A long value that the page prints must be printed whole.
    for (const SentField& f : c.fields) {
        string escaped;
        for (unsigned char b : f.value)
            escaped += isalnum(b) || b == '-' || b == '.' ? string(1, b) : "&#" + std::to_string(b) + ";";
        if (f.value.size() >= kLongValue && Holds(r.out, escaped.substr(0, kLongValue)) &&
            !Holds(r.out, escaped))
            faults += "a cut " + f.name + " value; ";
    }
    return faults + EscapeFaults(Lower(r.out));
}

// Every case of one command, in one lane, and its working request from every
// sender (the first few faults reported). A reading command's cases are
// checked against the directory once at the end, a changing command's one by
// one. Forged, a changing command (by its own row or through NewUser's
// Submit) gets the invalid-request page, an audit line and no change, a
// reading one its page; from our pages and tools, a change is made.
void RunGroup(Lane& lane, const CommandModel* model) {
    int reported = 0;
    auto report = [&](const string& what, const string& found) {
        if (!found.empty() && ++reported <= 8) ADD_FAILURE() << model->command << ", " << what << found;
    };
    if (model->changes && model->success.empty()) return report("no success text written for it", " ");
    for (const Case& c : CasesFor(model)) {
        ProcessResult result = Send(lane, c);
        report(c.what + ": ",
               AnswerFaults(c, result) + (model->changes ? DirectoryFaults(lane, c, result.out) : ""));
    }
    // The working request, and through NewUser's Submit, which reaches only the rows after NewUser's.
    std::vector<Case> own = {CasesFor(model).front()};
    const bool unreached = model < &*std::find_if(
                                       Commands().begin(), Commands().end(),
                                       [](const CommandModel& m) { return m.command == "NewUser"; });
    if (model->command != "NewUser") {
        own.push_back(own[0]);
        own[1].fields[0] = {"Command", "NewUser"};
        own[1].fields.insert(own[1].fields.begin() + 1, {"Submit", model->command});
    }
    // A reading command is sent as a GET only; our own pages send no command through NewUser.
    for (const Sender& sender : kSenders)
        for (Case c : own) {
            const bool through = c.fields[0].value != model->command;
            if (!kPlainBuild || (!model->changes && &sender != &kSenders[0]) || (!sender.forged && through))
                continue;
            c.mustChange = model->changes && !sender.forged;
            c.multipart = sender.multipart;
            const bool plainText = sender.headers.count("CONTENT_TYPE") != 0 && sender.forged;
            lane.server.ClearLog();
            ProcessResult result = Send(lane, c, sender.headers);
            string faults = AnswerFaults(
                c, result, (sender.forged && (model->changes || plainText)) || (through && unreached));
            if (model->changes) faults += DirectoryFaults(lane, c, result.out);
            const int lines = CountLogLines(lane.server.ReadLog(),
                                            "command=\"" + model->command + "\" request result=refused (");
            if (lines != (sender.forged && model->changes && !plainText))
                faults += "refusal audit lines: " + std::to_string(lines) + "; ";
            report(sender.name + string(through ? " through NewUser: " : ": "), faults);
        }
    if (!model->changes) report("after every request: ", DirectoryFaults(lane, {model, "", {}}, ""));
}

TEST(HostileInput, EveryCommandWithEveryFieldHostileGivesAnEscapedCompletePageAndLosesNothing) {
    Lane lanes[kLanes];
    for (Lane& lane : lanes) ASSERT_TRUE(lane.Open() && lane.Configure());
    Share(kLanes, Commands().size(), [&](int lane, std::size_t k) { RunGroup(lanes[lane], &Commands()[k]); });
}

}  // namespace
