// The hostile-input suite and the fault suite: every command of the command
// table with a working value for each field it reads and, for a changing
// one, the text of the page that reports its change; the hostile payloads
// and the requests built from them (each field with each payload, absent and
// doubled); the change a command is expected to make, on the directory read
// as (DN, attribute, value) triples (DNs in libldap's normal form, lower-cased;
// names lower-cased); a directory server per lane, and the sending. Markup
// payloads carry the marker "zq" right after a markup character, so that a
// test can tell an escaped occurrence from a raw one.
#ifndef LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H
#define LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H

#include <ldap.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/commands.h"
#include "tests/support/config_folder.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

using Dump = std::set<std::tuple<std::string, std::string, std::string>>;  // (DN, attribute, value)

// A field as the program decodes it; `wire`, when set, is sent in a
// url-encoded body in place of the value's own encoding.
struct SentField {
    std::string name, value, wire = "";
};
using SentFields = std::vector<SentField>;

struct CommandModel {
    std::string command;
    bool changes;
    std::string success;  // a text of the page that reports the change
    SentFields fields;    // the fields the handler reads, with working values
};

struct Case {
    const CommandModel* model;
    std::string what;  // for failure messages
    SentFields fields;
    bool multipart = false;
    bool mustChange = false;  // a changing command's request that must be carried out
};

using std::get;
using std::string;

// Where a payload goes: kUrl, kMultipart, the transports; kAddressOnly, only
// fields that hold a mail address; kMeaning: it tests what a value means to
// the directory, not its decoding or escaping.
enum Reach : unsigned { kUrl = 1, kMultipart = 2, kAddressOnly = 4, kMeaning = 8 };

// The sanitizer build sends only the payloads for decoding and escaping,
// each into a command's first field only; the plain build sends every
// payload into every field, and runs the senders and the fault suite too.
#ifdef LDAPCGI_HOSTILE_DECODING_AND_ESCAPING_ONLY
constexpr bool kPlainBuild = false;
#else
constexpr bool kPlainBuild = true;
#endif

// A payload: the value the program decodes, where it goes, and the bytes
// sent for it in a url-encoded body when not its plain encoding.
struct Payload {
    string name, value;
    unsigned reach = kUrl;
    string wire = "";
};

inline const string kAnn = "ann@example.com", kAlias = "ann.alias@example.com", kConn = "SMTP$ann@remote.net";
inline const string kBoundary = "HostileB0undary";

inline std::vector<Payload> Payloads() {
    const unsigned kBoth = kUrl | kMultipart, kAddress = kUrl | kAddressOnly | kMeaning,
                   kMeans = kUrl | kMeaning;
    std::vector<Payload> list = {
        {"script", "<script>alert('zq')</script>", kBoth},
        {"quote breakout", "'><svg onload=alert(\"zq\")>"},
        {"format directives", "%s%n%x%%%1$s"},
        {"wildcard", "*", kMeans},
        {"filter injection", "*)(objectClass=*", kMeans},
        {"backslashes", "\\\\2a\\", kMeans},
        {"DN specials", "+=#;<>,\"\\", kMeans},
        {"leading hash", "#x", kMeans},
        {"blanks around", "  ann@example.com  ", kMeans},
        {"NUL", string("a\0b", 3), kBoth},
        {"invalid UTF-8", "\xff\xfe\xc3(\xed\xa0\x80"},
        {"control bytes", "a\r\nb\tc\001d\177e", kBoth},
        // Escapes sent as they stand, decoded by their arithmetic when not hex.
        {"non-hex escape", "\x01x", kUrl, "%G1x"},
        {"escape to NUL", string("\0", 1), kUrl, "%g0"},
        {"address with +", "x+y@example.com", kAddress},
        {"address with =", "x=y@example.com", kAddress},
        {"address with #", "#x@example.com", kAddress},
        {"address with ,", "x,y@example.com", kAddress},
        {"address with ;", "x;y@example.com", kAddress},
        {"address in capitals", "ANN@EXAMPLE.COM", kAddress},
        {"alias address", kAlias, kAddress},
        {"address with markup", "<b>zq</b>@example.com", kUrl | kAddressOnly},
    };
    // At and past each bound; a url-encoded body this long is refused whole (tests/cgi).
    for (std::size_t size : {255, 511, 512, 1023, 1024, 8192, 8193}) {
        const unsigned reach = size < 8192 ? kUrl : kMultipart;
        list.push_back({"address of " + std::to_string(size), string(size - 12, 'a') + "@example.com",
                        reach | kAddressOnly});
        string markup;
        while (markup.size() < size) markup += "<zq>";
        list.push_back({"markup of " + std::to_string(size), markup.substr(0, size), reach});
    }
    return list;
}

// Every command of the table, each with its working request.
inline const std::vector<CommandModel>& Commands() {
    static const std::vector<CommandModel> commands = [] {
        // A working value for each field, by field name or by command and field name.
        const std::map<string, string> values = {
            {"Mail", kAnn},
            {"MailNdx", kAnn},
            {"FirstName", "Anna"},
            {"LastName", "Lee"},
            {"TelNo", "555 0101"},
            {"Address", "Road 3"},
            {"MailAlias", kAlias},
            {"OldMailAlias", kAlias},
            {"Othermailbox", kConn},
            {"Identifier", "ann@other.net"},
            {"Permission", "Send"},
            {"Channel", "SMTP"},
            {"Domain", "example.com"},
            {"NewUser Mail", "nia@example.com"},
            {"ListUsers FirstName", "*"},
            {"ListUsers LastName", "*"},
            {"ListUsers Mail", "*"},
            {"VerifyDeleteUser Mail", "bob@example.com"},
            {"UpdateAlias MailAlias", "new.alias@example.com"},
            {"UpdateConn Permission", "Receive"},
            {"AddChannel Channel", "LOCAL"},
            {"AddChannel Identifier", "ann.local"},
            {"ListConn Identifier", "*"},
            {"ViewSubDomain Domain", "com"},
        };
        // A text of the page that reports a changing command's change.
        const string kView = "<title>View Connector</title>";
        const std::map<string, string> success = {
            {"NewUser", "User created Succesfully"},
            {"UpdateUser", "Successfully Updated User"},
            {"VerifyDeleteUser", "Successfully Deleted User"},
            {"ConfirmDeleteAlias", "Deleted successfully"},
            {"UpdateAlias", "\" successfully"},
            {"BuildAliasTable", "will now be built in the background"},
            {"UpdateConn", kView},
            {"VerifyDeleteConn", kView},
            {"AddChannel", kView},
        };
        std::vector<CommandModel> list;
        for (std::size_t row = 0; row < kCommandCount; ++row) {
            const Command& command = kCommands[row];
            if (command.userTransfer) continue;  // off here: no command (tests/pages/transfer_test.cpp)
            CommandModel model{command.name, command.changes, "", {}};
            for (std::size_t i = 0; i < kMaxCommandFields && command.fields[i] != nullptr; ++i) {
                auto value = values.find(model.command + " " + command.fields[i]);
                if (value == values.end()) value = values.find(command.fields[i]);
                model.fields.push_back({command.fields[i], value != values.end() ? value->second : "x"});
            }
            if (model.command == "NewUser") model.fields.push_back({"Submit", "Create User"});
            if (success.count(model.command) != 0) model.success = success.at(model.command);
            list.push_back(model);
        }
        return list;
    }();
    return commands;
}

inline string Lower(string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The normal form of a DN (for one libldap cannot parse: its lower-cased text).
inline string NormalDn(const string& dn) {
    LDAPDN parsed = nullptr;
    char* text = nullptr;
    string out = dn;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS &&
        ldap_dn2str(parsed, &text, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS && text != nullptr)
        out = text;
    ldap_memfree(text);
    ldap_dnfree(parsed);
    return Lower(out);
}

// The DN the program gives a user's entry: "mail=" address under the dc= names
// of its domain, every byte as a hex pair (valid whatever the address holds).
inline string MailDn(const string& mail) {
    auto hex = [](const string& value) {
        string out;
        char pair[4];
        for (unsigned char c : value) snprintf(pair, sizeof pair, "\\%02x", c), out += pair;
        return out;
    };
    string dn = "mail=" + hex(mail), part;
    std::istringstream domain(mail.substr(std::min(mail.size(), mail.rfind('@') + 1)));
    while (std::getline(domain, part, '.'))
        if (!part.empty()) dn += ",dc=" + hex(part);
    return NormalDn(dn);
}

// The effective (first) value of a field; null when absent.
inline const char* Value(const SentFields& fields, const std::string& name) {
    auto f = std::find_if(fields.begin(), fields.end(), [&](const SentField& s) { return s.name == name; });
    return f == fields.end() ? nullptr : f->value.c_str();
}

// Every request for one command, its working request first.
inline std::vector<Case> CasesFor(const CommandModel* model) {
    static const std::vector<Payload> payloads = Payloads();
    // A command without fields gets the payloads in a field it does not read.
    const SentFields fields = model->fields.empty() ? SentFields{{"Mail", kAnn}} : model->fields;
    const std::size_t kNone = fields.size();
    // The working request with field `which` holding `with` (absent when null),
    // and its working value after it when `doubled`. A connector value keeps its
    // channel, so that the payload reaches the identifier (values at a length
    // bound are sent as they are).
    auto request = [&](std::size_t which, const Payload* with, bool doubled = false) {
        SentFields sent = {{"Command", model->command}};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != which && !model->fields.empty()) sent.push_back(fields[i]);
            if (i != which || with == nullptr) continue;
            const bool channel =
                fields[i].name == "Othermailbox" && with->value.size() < 255 && with->wire.empty();
            sent.push_back({fields[i].name, (channel ? "SMTP$" : "") + with->value, with->wire});
            if (doubled) sent.push_back(fields[i]);
        }
        return sent;
    };
    std::vector<Case> cases = {{model, "working request", request(kNone, nullptr), false, model->changes}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const string& name = fields[i].name;
        const bool address =
            name == "Mail" || name == "MailNdx" || name == "MailAlias" || name == "OldMailAlias";
        if (!model->fields.empty()) cases.push_back({model, name + " absent", request(i, nullptr)});
        for (const Payload& p : payloads)
            for (unsigned t : {kUrl, kMultipart})
                if ((p.reach & t) && (kPlainBuild || (i == 0 && !(p.reach & kMeaning))) &&
                    (address || !(p.reach & kAddressOnly)))
                    cases.push_back({model, name + "=" + p.name + (t == kMultipart ? " (multipart)" : ""),
                                     request(i, &p), t == kMultipart});
        cases.push_back({model, name + " doubled, script first", request(i, &payloads[0], true)});
    }
    // The user with markup in every value, in place of the working one.
    const std::map<string, string> markup = {
        {kAnn, "eve@example.com"}, {kAlias, "x<b>zq</b>@example.com"}, {kConn, "SMTP$<b>zq</b>"}};
    SentFields eve = request(kNone, nullptr);
    for (SentField& f : eve)
        if (markup.count(f.value) != 0) f.value = markup.at(f.value);
    cases.push_back({model, "markup in the directory", eve});
    return cases;
}

// The directory after a successful change of the case's command.
inline Dump Expected(const Dump& before, const Case& c) {
    auto text = [&](const char* name) { return string(Value(c.fields, name) ? Value(c.fields, name) : ""); };
    const string command = c.model->command, mail = text("Mail"), index = text("MailNdx");
    Dump d = before;
    string dn = MailDn(command == "UpdateUser" ? index : mail);
    // The values of the entry's attribute that begin with `prefix`, and taking out the
    // entry, or only its attribute `attr`, or only its value `value` (letter case ignored).
    auto values = [&](const string& attr, const string& prefix) {
        std::vector<string> found;
        for (const auto& [entry, name, value] : d)
            if (entry == dn && name == attr && strncasecmp(value.c_str(), prefix.c_str(), prefix.size()) == 0)
                found.push_back(value);
        return found;
    };
    auto erase = [&](const string& attr = "", const string& value = "") {
        for (auto it = d.lower_bound({dn, attr, ""}); it != d.end() && get<0>(*it) == dn;) {
            if (!attr.empty() && get<1>(*it) != attr) break;
            const bool same = value.empty() || strcasecmp(get<2>(*it).c_str(), value.c_str()) == 0;
            it = same ? d.erase(it) : std::next(it);
        }
    };
    auto add = [&](const string& attr, const string& value) {
        if (!value.empty()) d.insert({dn, attr, value});  // the directory holds no empty value
    };
    if (command == "NewUser" || command == "UpdateUser") {
        if (command == "NewUser") {
            add("objectclass", "xoperson");
            add("mail", mail);
        } else if (strcasecmp(index.c_str(), mail.c_str()) != 0) {  // a new address: the entry moves
            for (const auto& [from, attr, value] : before)
                if (from == dn && !(attr == "mail" && strcasecmp(value.c_str(), index.c_str()) == 0))
                    d.insert({MailDn(mail), attr, value});
            erase();
            dn = MailDn(mail);
            add("mail", mail);
        }
        const string first = text("FirstName"), last = text("LastName");
        for (const auto& [attr, value] : {std::pair<string, string>{"firstname", first},
                                          {"sn", last},
                                          {"telephonenumber", text("TelNo")},
                                          {"streetaddress", text("Address")},
                                          {"cn", first.empty() ? last : first + " " + last}}) {
            erase(attr);
            add(attr, value);
        }
    } else if (command == "VerifyDeleteUser") {
        erase();
    } else if (command == "ConfirmDeleteAlias" || command == "UpdateAlias") {
        const string old = text(command == "UpdateAlias" ? "OldMailAlias" : "MailAlias");
        if (!old.empty()) erase("mail", old);
        if (command == "UpdateAlias") add("mail", text("MailAlias"));
    } else if (command != "BuildAliasTable") {
        // The connectors: CHANNEL$IDENTIFIER values, with one permission value CHANNEL$VALUE per channel.
        const string value = text("Othermailbox"), permission = text("Permission");
        const string channel = command == "AddChannel" ? text("Channel") : value.substr(0, value.find('$'));
        const std::vector<string> stored = values("x-permission", channel + "$");
        const string had = stored.empty() ? "" : stored[0], identifier = channel + "$" + text("Identifier");
        if (command == "AddChannel") {
            if (!permission.empty() && had.empty()) add("x-permission", channel + "$" + permission);
            add("othermailbox", identifier);
        } else if (command == "VerifyDeleteConn") {
            if (!had.empty() && values("othermailbox", channel + "$").size() <= 1) erase("x-permission", had);
            erase("othermailbox", value);
        } else if (command == "UpdateConn") {
            if (value != identifier) {
                erase("othermailbox", value);
                add("othermailbox", identifier);
            }
            if (strcasecmp(had.c_str() + (had.empty() ? 0 : channel.size() + 1), permission.c_str()) != 0) {
                if (!had.empty()) erase("x-permission", had);
                if (!permission.empty()) add("x-permission", channel + "$" + permission);
            }
        }
    }
    return d;
}

// The differences, one line per triple: "- " missing, "+ " unexpected.
inline std::string Difference(const Dump& expected, const Dump& actual) {
    std::string text;
    for (const auto& [from, to, mark] : {std::tuple{&expected, &actual, "- "}, {&actual, &expected, "+ "}})
        for (const auto& [dn, attr, value] : *from)
            if (to->count({dn, attr, value}) == 0)
                text += mark + dn + " | " + attr + ": " + value.substr(0, 80) + "\n";
    return text;
}

// A sanitizer's report on standard error; "" when none.
inline string SanitizerFaults(const string& err) {
    return Holds(err, "Sanitizer") || Holds(err, "runtime error") ? "sanitizer: " + err.substr(0, 300) + "; "
                                                                  : "";
}

// What keeps `out` from being one whole page (its header once, "</html>" once at the end); "" when nothing.
inline std::string PageShapeFaults(const std::string& out) {
    std::string faults;
    if (out.rfind("Content-type: text/html\n\n<html>\n", 0) != 0 ||
        out.find("<html>", out.find("<html>") + 1) != std::string::npos)
        faults += "not one page header; ";
    if (out.size() < 8 || out.compare(out.size() - 8, 8, "</html>\n") != 0 ||
        out.find("</html>") != out.size() - 8)
        faults += "the page does not end once with </html>; ";
    return faults;
}

// Runs jobs 0 to count-1 on `workers` threads, each job taken by the next free worker.
inline void Share(int workers, std::size_t count,
                  const std::function<void(int worker, std::size_t job)>& run) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
            for (std::size_t job; (job = next++) < count;) run(w, job);
        });
    for (std::thread& thread : threads) thread.join();
}

// Every entry of the server at `uri` with every attribute, in one anonymous
// search; false when it could not be read.
inline bool ReadDirectory(const std::string& uri, Dump* dump) {
    dump->clear();
    LDAP* ld = nullptr;
    LDAPMessage* reply = nullptr;
    int version = LDAP_VERSION3;
    bool ok = ldap_initialize(&ld, uri.c_str()) == LDAP_SUCCESS &&
              ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_SUCCESS &&
              ldap_search_ext_s(ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", nullptr, 0, nullptr, nullptr,
                                nullptr, LDAP_NO_LIMIT, &reply) == LDAP_SUCCESS;
    for (LDAPMessage* entry = ok ? ldap_first_entry(ld, reply) : nullptr; entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        const std::string normal = NormalDn(dn != nullptr ? dn : "");
        ldap_memfree(dn);
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld, entry, ber)) {
            berval** values = ldap_get_values_len(ld, entry, name);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                dump->insert({normal, Lower(name), std::string(values[i]->bv_val, values[i]->bv_len)});
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        ber_free(ber, 0);
    }
    ldap_msgfree(reply);
    if (ld != nullptr) ldap_unbind_ext_s(ld, nullptr, nullptr);
    return ok;
}

// A directory server of its own, seeded from tests/hostile/seed.ldif (and
// `extraLdif`, when set), with the program's configuration.
struct Lane {
    DirectorySandbox server;
    Dump seed;
    std::string extraLdif = "";
    bool Open() {
        return server.Ok() && mkdir((server.ConfigDir() + "/queue").c_str(), 0755) == 0 && Restore() &&
               Read(&seed);
    }
    // The alias tables' record goes with the directory that numbers them.
    bool Restore() {
        std::remove((server.ConfigDir() + "/queue/AliasTables/published").c_str());
        return server.Reset(ReadWholeFile(SourcePath("tests/hostile/seed.ldif")) + extraLdif);
    }
    // XOMTA.INI: `ldap` (keys of [Ldap]), the queue folder and the channels.
    bool Configure(const std::string& ldap = "") {
        return server.WriteConfig(ldap + "[Gateway]\nQueueDirectory=" + server.ConfigDir() +
                                  "/queue\n[Channels]\nSMTP=enabled,connectors\nLOCAL=enabled,connectors\n");
    }
    bool Read(Dump* dump) const { return ReadDirectory(server.Uri(), dump); }
};

// The directory after a case against what it may be: as seeded, or changed as
// asked where the page reports the change; with `between` (a request that got
// no answer) also as asked, or as `between` asks. It is put back as seeded.
inline std::string DirectoryFaults(Lane& lane, const Case& c, const std::string& page,
                                   const Case* between = nullptr) {
    Dump after;
    for (int attempt = 0; !lane.Read(&after); ++attempt) {
        if (attempt == 50) return "directory not readable; ";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a server starting again
    }
    const bool changed = c.model->changes && Holds(page, c.model->success);
    std::string faults = c.mustChange && !changed ? "the working request changed nothing; " : "";
    Dump actual = after;
    if (c.model->command == "BuildAliasTable") {
        // The build changes only the profile strings, below "cn=profiles", and publishes its sequence.
        std::string sequence;
        for (const auto& [dn, attr, value] : after) {
            if (Holds(dn, "cn=profiles")) actual.erase({dn, attr, value});
            if (dn == "cn=aliassequence,cn=preprocessor,cn=profiles" && attr == "xoprofilevalue")
                sequence = value;
        }
        if (changed && (sequence.empty() || sequence.find_first_not_of("0123456789") != std::string::npos))
            faults += "alias sequence not published; ";
    }
    const Dump asked = c.model->changes ? Expected(lane.seed, c) : lane.seed;
    if (c.model->command == "NewUser" && actual == asked && Holds(page, "Failed"))
        faults += "a user created is called not created; ";
    if (changed ? actual != asked
                : actual != lane.seed &&
                      (!between || (actual != asked && actual != Expected(lane.seed, *between))))
        faults += std::string(changed ? "directory not changed as asked" : "directory changed") + ":\n" +
                  Difference(changed ? asked : lane.seed, actual);
    if (after != lane.seed && !lane.Restore()) faults += "directory not restored; ";
    return faults;
}

// Browser headers of a form on our own pages.
inline const Environment kOwnPage = {{"HTTP_ORIGIN", "http://mail.example.com"},
                                     {"HTTP_SEC_FETCH_SITE", "same-origin"}};

// The request body, url-encoded or multipart.
inline std::string Body(const Case& c) {
    std::string body, boundary = kBoundary;
    for (const SentField& f : c.fields)
        if (c.multipart)
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + f.name + "\"\r\n\r\n" +
                    f.value + "\r\n";
        else
            body += (body.empty() ? "" : "&") +
                    (f.wire.empty() ? FormBody({{f.name, f.value}}) : f.name + "=" + f.wire);
    return c.multipart ? body + "--" + boundary + "--\r\n" : body;
}

// The case's request (POST) with `headers` added: a GET sends the body as its
// query string, an empty CONTENT_TYPE or REMOTE_USER is none.
inline ProcessResult Send(const Lane& lane, const Case& c, const Environment& headers = kOwnPage) {
    std::string body = Body(c);
    Environment env = {{"XOMTA_CONFIG_DIR", lane.server.ConfigDir()},
                       {"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", c.multipart ? "multipart/form-data; boundary=" + kBoundary
                                                    : "application/x-www-form-urlencoded"},
                       {"HTTP_HOST", "mail.example.com"},
                       {"REMOTE_USER", "admin"},
                       {"REMOTE_ADDR", "127.0.0.1"}};
    for (const auto& [name, value] : headers) env[name] = value;
    if (env["CONTENT_TYPE"] == "text/plain") body += "=\r\n";  // the whole request in one field's name
    for (const char* name : {"CONTENT_TYPE", "REMOTE_USER"})
        if (env[name].empty()) env.erase(name);
    if (env["REQUEST_METHOD"] == "GET") return RunCgi((env["QUERY_STRING"] = body, env));
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}

#endif
