// The hostile-input suite's tables (payloads, working values, success
// texts), the requests generated from them, the change each changing
// command is expected to make, and the directory read through libldap.
// Markup payloads carry the marker "zq" right after a markup character, so
// that a test can tell an escaped occurrence from a raw one.
#include "tests/hostile/hostile_cases.h"

#include <ldap.h>
#include <strings.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

#include "app/commands.h"
#include "tests/support/config_folder.h"
#include "tests/support/page_check.h"

namespace {

using std::get;
using std::string;

// Where a payload goes: the transports, and which fields get it.
enum Reach : unsigned {
    kUrl = 1,             // url-encoded body
    kMultipart = 2,       // multipart body
    kAddressOnly = 4,     // only fields that hold a mail address
    kFirstFieldOnly = 8,  // only a command's first field: the answer depends on the body alone
    kMeaning = 16         // tests what a value means to the directory, not its decoding or escaping
};

// The sanitizer build sends only the payloads for decoding and escaping,
// each into a command's first field only.
#ifdef LDAPCGI_HOSTILE_DECODING_AND_ESCAPING_ONLY
constexpr unsigned kLeftOut = kMeaning, kOnlyFirst = ~0u;
#else
constexpr unsigned kLeftOut = 0, kOnlyFirst = kFirstFieldOnly;
#endif

// A payload: the value the program decodes, where it goes, and the bytes
// sent for it in a url-encoded body when not its plain encoding.
struct Payload {
    string name, value;
    unsigned reach = kUrl;
    string wire = "";
};

const string kAnn = "ann@example.com", kAlias = "ann.alias@example.com", kConn = "SMTP$ann@remote.net";
const string kEve = "eve@example.com", kEveAlias = "x<b>zq</b>@example.com", kEveConn = "SMTP$<b>zq</b>";
const string kBoundary = "HostileB0undary";

std::vector<Payload> Payloads() {
    const unsigned kBoth = kUrl | kMultipart, kAddress = kUrl | kAddressOnly | kMeaning,
                   kMeans = kUrl | kMeaning;
    std::vector<Payload> list = {
        {"script", "<script>alert('zq')</script>", kBoth},
        {"attribute breakout", "\"><img src=x onerror=alert('zq')>"},
        {"quote breakout", "'><svg onload=alert(\"zq\")>"},
        {"closing tags", "</textarea></title></td></table><b>zq</b>"},
        {"javascript link", "javascript:alert('zq')//"},
        {"entities", "&lt;zq&#62;&amp;&"},
        {"format directives", "%s%n%x%%%1$s"},
        {"wildcard", "*", kMeans},
        {"filter injection", "*)(objectClass=*", kMeans},
        {"filter or", ")(|(mail=*)", kMeans},
        {"backslashes", "\\\\2a\\", kMeans},
        {"DN injection", "x,dc=example,dc=com", kMeans},
        {"DN specials", "+=#;<>,\"\\", kMeans},
        {"leading hash", "#x", kMeans},
        {"blanks around", "  ann@example.com  ", kMeans},
        {"one blank", " ", kMeans},
        {"empty", "", kMeans},
        {"NUL", string("a\0b", 3), kBoth},
        {"invalid UTF-8", "\xff\xfe\xc3(\xed\xa0\x80"},
        {"overlong <", "\xc0\xbcscript\xc0\xbe"},
        {"control bytes",
         "a\r\nb\tc\x01"
         "d\x7f"
         "e",
         kBoth},
        // Escapes sent as they stand: kept when cut, decoded by their arithmetic when not hex.
        {"lone %", "100%", kUrl, "100%"},
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
        {"UTF-8 address", "zo\xc3\xab@example.com", kAddress},
        {"invalid UTF-8 address", "\xc3(\xff@example.com", kUrl | kAddressOnly},
    };
    // At and past each bound; a url-encoded body this long is refused whole.
    for (std::size_t size : {255, 511, 512, 1023, 1024, 8192, 8193}) {
        const unsigned reach = size < 8192 ? kUrl : kMultipart;
        list.push_back({"address of " + std::to_string(size), string(size - 12, 'a') + "@example.com",
                        reach | kAddressOnly});
        string markup;
        while (markup.size() < size) markup += "<zq>";
        list.push_back({"markup of " + std::to_string(size), markup.substr(0, size), reach});
        if (size >= 8192)
            list.push_back(
                {"markup of " + std::to_string(size), markup.substr(0, size), kUrl | kFirstFieldOnly});
    }
    return list;
}

// The payload in a field. A connector value keeps its channel, so that the
// payload reaches the identifier (values at a length bound are sent as they are).
SentField Shaped(const string& field, const Payload& p) {
    if (field != "Othermailbox" || p.value.size() >= 255 || !p.wire.empty()) return {field, p.value, p.wire};
    return {field, "SMTP$" + p.value};
}

std::vector<CommandModel> CommandModels() {
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
        {"Special", "on"},
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
    std::vector<CommandModel> commands;
    for (std::size_t row = 0; row < kCommandCount; ++row) {
        const Command& command = kCommands[row];
        CommandModel model{command.name, command.changes, "", {}};
        for (std::size_t i = 0; i < kMaxCommandFields && command.fields[i] != nullptr; ++i) {
            auto value = values.find(model.command + " " + command.fields[i]);
            if (value == values.end()) value = values.find(command.fields[i]);
            model.fields.push_back({command.fields[i], value != values.end() ? value->second : "x"});
        }
        if (model.command == "NewUser") model.fields.push_back({"Submit", "Create User"});
        if (success.count(model.command) != 0) model.success = success.at(model.command);
        commands.push_back(model);
    }
    return commands;
}

string Lower(string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The normal form of a DN ("" for one libldap cannot parse: its lower-cased text).
string NormalDn(const string& dn) {
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

// The DN the program gives a user's entry: "mail=" address under the dc= names of its domain.
string MailDn(const string& mail) {
    // Every byte as a hex pair: valid whatever the address holds; NormalDn evens out the spelling.
    auto escaped = [](const string& value) {
        string out;
        char pair[4];
        for (unsigned char c : value) snprintf(pair, sizeof pair, "\\%02x", c), out += pair;
        return out;
    };
    std::size_t at = mail.rfind('@');
    string dn = "mail=" + escaped(mail);
    for (std::size_t start = at == string::npos ? mail.size() : at + 1; start < mail.size();) {
        std::size_t dot = mail.find('.', start);
        if (dot == string::npos) dot = mail.size();
        if (dot > start) dn += ",dc=" + escaped(mail.substr(start, dot - start));
        start = dot + 1;
    }
    return NormalDn(dn);
}

// Value comparison as the directory's caseIgnoreMatch does it for ASCII:
// letter case, leading and trailing blanks and repeated blanks do not count.
bool SameValue(const string& a, const string& b) {
    auto folded = [](const string& value) {
        string out;
        for (char c : Lower(value))
            if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
        if (!out.empty() && out.back() == ' ') out.pop_back();
        return out;
    };
    return folded(a) == folded(b);
}

// The values of an attribute of an entry that begin with `prefix` (letter case ignored).
std::vector<string> Values(const Dump& dump, const string& dn, const string& attr, const string& prefix) {
    std::vector<string> values;
    for (auto it = dump.lower_bound({dn, attr, ""});
         it != dump.end() && get<0>(*it) == dn && get<1>(*it) == attr; ++it)
        if (strncasecmp(get<2>(*it).c_str(), prefix.c_str(), prefix.size()) == 0)
            values.push_back(get<2>(*it));
    return values;
}

// Takes out an entry, or only its attribute `attr`, or only the values of it that are the same as `value`.
void Erase(Dump* dump, const string& dn, const string& attr = "", const string& value = "") {
    for (auto it = dump->lower_bound({dn, attr, ""}); it != dump->end() && get<0>(*it) == dn;) {
        if (!attr.empty() && get<1>(*it) != attr) break;
        it = value.empty() || SameValue(get<2>(*it), value) ? dump->erase(it) : std::next(it);
    }
}

// A field's value, "" when absent.
string Text(const SentFields& fields, const char* name) {
    const char* value = Value(fields, name);
    return value != nullptr ? value : "";
}

}  // namespace

const char* Value(const SentFields& fields, const string& name) {
    for (const SentField& f : fields)
        if (f.name == name) return f.value.c_str();
    return nullptr;
}

const std::vector<CommandModel>& Commands() {
    static const std::vector<CommandModel> commands = CommandModels();
    return commands;
}

std::vector<Case> CasesFor(const CommandModel* model) {
    static const std::vector<Payload> payloads = Payloads();
    // Whether a payload goes into a field (the command's first when `first`) by a transport.
    auto goes = [](const Payload& p, const string& field, bool first, unsigned transport) {
        const bool address =
            field == "Mail" || field == "MailNdx" || field == "MailAlias" || field == "OldMailAlias";
        return (p.reach & transport) != 0 && (p.reach & kLeftOut) == 0 &&
               (address || !(p.reach & kAddressOnly)) && (first || !(p.reach & kOnlyFirst));
    };
    std::vector<Case> cases;
    if (model == nullptr) {  // hostile values of "Command" itself
        for (const Payload& p : payloads)
            for (unsigned t : {kUrl, kMultipart})
                if (goes(p, "Command", true, t))
                    cases.push_back({nullptr,
                                     "Command=" + p.name,
                                     {Shaped("Command", p), {"Mail", kAnn}},
                                     t == kMultipart});
        cases.push_back({nullptr, "no Command", {{"Mail", kAnn}}});
        cases.push_back({nullptr, "command in lower case", {{"command", "FindUser"}}});
        return cases;
    }
    // A command without fields gets the payloads in a field it does not read.
    const SentFields fields = model->fields.empty() ? SentFields{{"Mail", kAnn}} : model->fields;
    const std::size_t kNone = fields.size();
    // The working request with field `which` holding `with` (absent when null),
    // its working value also after it (doubled 1) or before it (doubled 2).
    auto request = [&](std::size_t which, const Payload* with, int doubled = 0) {
        SentFields sent = {{"Command", model->command}};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != which && !model->fields.empty()) sent.push_back(fields[i]);
            if (i != which || with == nullptr) continue;
            if (doubled == 2) sent.push_back(fields[i]);
            sent.push_back(Shaped(fields[i].name, *with));
            if (doubled == 1) sent.push_back(fields[i]);
        }
        return sent;
    };
    cases.push_back({model, "working request", request(kNone, nullptr), false, model->changes});
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const string& name = fields[i].name;
        if (!model->fields.empty()) cases.push_back({model, name + " absent", request(i, nullptr)});
        for (const Payload& p : payloads)
            for (unsigned t : {kUrl, kMultipart})
                if (goes(p, name, i == 0, t))
                    cases.push_back({model, name + "=" + p.name + (t == kMultipart ? " (multipart)" : ""),
                                     request(i, &p), t == kMultipart});
        for (int order : {1, 2})
            cases.push_back({model, name + " doubled, script " + (order == 1 ? "first" : "second"),
                             request(i, &payloads[0], order)});
    }
    // The user with markup in every value, in place of the working one.
    SentFields eve = request(kNone, nullptr);
    for (SentField& f : eve)
        f.value = f.value == kAnn     ? kEve
                  : f.value == kAlias ? kEveAlias
                  : f.value == kConn  ? kEveConn
                                      : f.value;
    cases.push_back({model, "markup in the directory", eve});
    cases.push_back({model, "every field absent", {{"Command", model->command}}});
    SentFields twice = request(kNone, nullptr);
    twice.push_back({"Command", payloads[0].value});
    cases.push_back({model, "Command doubled", twice});
    return cases;
}

Dump Expected(const Dump& before, const Case& c) {
    const SentFields& r = c.fields;
    const string command = c.model->command, mail = Text(r, "Mail"), index = Text(r, "MailNdx");
    Dump d = before;
    string dn = MailDn(command == "UpdateUser" ? index : mail);
    auto add = [&](const string& attr, const string& value) {
        if (!value.empty()) d.insert({dn, attr, value});  // the directory holds no empty value
    };
    if (command == "NewUser" || command == "UpdateUser") {
        if (command == "NewUser") {
            add("objectclass", "xoperson");
            add("mail", mail);
        } else if (strcasecmp(index.c_str(), mail.c_str()) != 0) {  // a new address: the entry moves
            for (const Triple& t : before)
                if (get<0>(t) == dn && !(get<1>(t) == "mail" && SameValue(get<2>(t), index)))
                    d.insert({MailDn(mail), get<1>(t), get<2>(t)});
            Erase(&d, dn);
            dn = MailDn(mail);
            add("mail", mail);
        }
        const string first = Text(r, "FirstName"), last = Text(r, "LastName");
        for (const auto& [attr, value] : {std::pair<string, string>{"firstname", first},
                                          {"sn", last},
                                          {"telephonenumber", Text(r, "TelNo")},
                                          {"streetaddress", Text(r, "Address")},
                                          {"cn", first.empty() ? last : first + " " + last}}) {
            Erase(&d, dn, attr);
            add(attr, value);
        }
    } else if (command == "VerifyDeleteUser") {
        Erase(&d, dn);
    } else if (command == "ConfirmDeleteAlias" || command == "UpdateAlias") {
        const string old = Text(r, command == "UpdateAlias" ? "OldMailAlias" : "MailAlias");
        if (!old.empty()) Erase(&d, dn, "mail", old);
        if (command == "UpdateAlias") add("mail", Text(r, "MailAlias"));
    } else if (command !=
               "BuildAliasTable") {  // the connectors: CHANNEL$IDENTIFIER, a permission CHANNEL$VALUE
        const string value = Text(r, "Othermailbox"), permission = Text(r, "Permission");
        const string channel =
            command == "AddChannel" ? Text(r, "Channel") : value.substr(0, value.find('$'));
        const std::vector<string> stored = Values(d, dn, "x-permission", channel + "$");
        const string had = stored.empty() ? "" : stored[0],
                     identifier = channel + "$" + Text(r, "Identifier");
        if (command == "AddChannel") {
            if (!permission.empty() && had.empty()) add("x-permission", channel + "$" + permission);
            add("othermailbox", identifier);
        } else if (command == "VerifyDeleteConn") {
            if (!had.empty() && Values(d, dn, "othermailbox", channel + "$").size() <= 1)
                Erase(&d, dn, "x-permission", had);
            Erase(&d, dn, "othermailbox", value);
        } else if (command == "UpdateConn") {
            if (value != identifier) {
                Erase(&d, dn, "othermailbox", value);
                add("othermailbox", identifier);
            }
            if (strcasecmp(had.c_str() + (had.empty() ? 0 : channel.size() + 1), permission.c_str()) != 0) {
                if (!had.empty()) Erase(&d, dn, "x-permission", had);
                if (!permission.empty()) add("x-permission", channel + "$" + permission);
            }
        }
    }
    return d;
}

string Difference(const Dump& expected, const Dump& actual) {
    string text;
    std::size_t lines = 0;
    for (const Dump* from : {&expected, &actual})
        for (const Triple& t : *from)
            if ((from == &expected ? actual : expected).count(t) == 0 && lines++ < 12)
                text += (from == &expected ? "- " : "+ ") + get<0>(t) + " | " + get<1>(t) + ": " +
                        get<2>(t).substr(0, 80) + "\n";
    return text;
}

string PageShapeFaults(const string& out) {
    string faults;
    if (out.rfind("Content-type: text/html\n\n<html>\n", 0) != 0 ||
        out.find("<html>", out.find("<html>") + 1) != string::npos)
        faults += "not one page header; ";
    if (out.size() < 8 || out.compare(out.size() - 8, 8, "</html>\n") != 0 ||
        out.find("</html>") != out.size() - 8)
        faults += "the page does not end once with </html>; ";
    return faults;
}

void Share(int workers, std::size_t count, const std::function<void(int, std::size_t)>& run) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
            for (std::size_t job; (job = next++) < count;) run(w, job);
        });
    for (std::thread& thread : threads) thread.join();
}

bool Lane::Open() {
    return server.Ok() && mkdir((server.ConfigDir() + "/queue").c_str(), 0755) == 0 && Restore() &&
           Read(&seed);
}

bool Lane::Restore() { return server.Reset(ReadWholeFile(SourcePath("tests/hostile/seed.ldif"))); }

bool Lane::Configure(const string& ldap) {
    return server.WriteConfig(ldap + "[Gateway]\nQueueDirectory=" + server.ConfigDir() +
                              "/queue\n[Channels]\nSMTP=enabled,connectors\nLOCAL=enabled,connectors\n");
}

// Every entry with every attribute, in one search as the root account.
bool Lane::Read(Dump* dump) const {
    dump->clear();
    LDAP* ld = nullptr;
    LDAPMessage* reply = nullptr;
    int version = LDAP_VERSION3;
    string password = DirectorySandbox::RootPassword();
    berval credentials = {static_cast<ber_len_t>(password.size()), &password[0]};
    bool ok = ldap_initialize(&ld, server.Uri().c_str()) == LDAP_SUCCESS &&
              ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_SUCCESS &&
              ldap_sasl_bind_s(ld, DirectorySandbox::RootDn(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                               nullptr, nullptr) == LDAP_SUCCESS &&
              ldap_search_ext_s(ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", nullptr, 0, nullptr, nullptr,
                                nullptr, LDAP_NO_LIMIT, &reply) == LDAP_SUCCESS;
    for (LDAPMessage* entry = ok ? ldap_first_entry(ld, reply) : nullptr; entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        const string normal = NormalDn(dn != nullptr ? dn : "");
        ldap_memfree(dn);
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld, entry, ber)) {
            berval** values = ldap_get_values_len(ld, entry, name);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                dump->insert({normal, Lower(name), string(values[i]->bv_val, values[i]->bv_len)});
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        ber_free(ber, 0);
    }
    ldap_msgfree(reply);
    if (ld != nullptr) ldap_unbind_ext_s(ld, nullptr, nullptr);
    return ok;
}

const Environment kOwnPage = {{"HTTP_ORIGIN", "http://mail.example.com"},
                              {"HTTP_SEC_FETCH_SITE", "same-origin"}};

string Body(const Case& c) {
    string body;
    for (const SentField& f : c.fields)
        if (c.multipart)
            body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + f.name + "\"\r\n\r\n" +
                    f.value + "\r\n";
        else
            body += (body.empty() ? "" : "&") +
                    (f.wire.empty() ? FormBody({{f.name, f.value}}) : f.name + "=" + f.wire);
    return c.multipart ? body + "--" + kBoundary + "--\r\n" : body;
}

ProcessResult Send(const Lane& lane, const Case& c, const Environment& headers) {
    string body = Body(c);
    Environment env = {{"XOMTA_CONFIG_DIR", lane.server.ConfigDir()},
                       {"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", c.multipart ? "multipart/form-data; boundary=" + kBoundary
                                                    : "application/x-www-form-urlencoded"},
                       {"HTTP_HOST", "mail.example.com"},
                       {"REMOTE_USER", "admin"},
                       {"REMOTE_ADDR", "127.0.0.1"}};
    for (const auto& [name, value] : headers) env[name] = value;
    if (env["CONTENT_TYPE"] == "text/plain") body += "=\r\n";  // the whole request in one field's name
    if (env["CONTENT_TYPE"].empty()) env.erase("CONTENT_TYPE");
    if (env["REQUEST_METHOD"] == "GET") return RunCgi((env["QUERY_STRING"] = body, env));
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}
