// Tables and generation of the hostile-input suite. Markup payloads carry
// the marker "zq" right after a markup character, so that the test can tell
// an escaped occurrence from a raw one.
#include "tests/hostile/hostile_cases.h"

#include <strings.h>
#include <sys/stat.h>

#include <map>

#include "app/commands.h"
#include "tests/support/config_folder.h"
#include "tests/support/page_check.h"

namespace {

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

// A payload: its value, where it goes, and for a url-encoded body the bytes
// sent as they stand and the value they decode to (both empty: the value is
// percent-encoded whole).
struct Payload {
    string name, value;
    unsigned reach = kUrl;
    string urlWire = "", urlValue = "";
};

const string kAnn = "ann@example.com", kAlias = "ann.alias@example.com", kConn = "SMTP$ann@remote.net";
const string kEve = "eve@example.com", kEveAlias = "x<b>zq</b>@example.com", kEveConn = "SMTP$<b>zq</b>";

bool IsAddressField(const string& name) {
    return name == "Mail" || name == "MailNdx" || name == "MailAlias" || name == "OldMailAlias";
}

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
        {"lone %", "100%", kUrl, "100%", "100%"},
        {"non-hex escape", "%G1x", kUrl, "%G1x", "\x01x"},
        {"escape to NUL", "%g0", kUrl, "%g0", string("\0", 1)},
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

// A connector value keeps its channel, so that the payload reaches the identifier
// (values at a length bound are sent as they are).
Payload Shaped(const string& field, const Payload& p) {
    if (field != "Othermailbox" || p.value.size() >= 255 || !p.urlWire.empty()) return p;
    return {p.name, "SMTP$" + p.value, p.reach};
}

SentField Send(const string& name, const Payload& p, Transport t) {
    if (t == Transport::kMultipart) return {name, p.value, p.value};
    if (!p.urlWire.empty()) return {name, p.urlWire, p.urlValue};
    return {name, FormBody({{"", p.value}}).substr(1), p.value};
}

// A field's value, "" when absent.
string Text(const SentFields& fields, const char* name) {
    const char* value = Value(fields, name);
    return value != nullptr ? value : "";
}

// The user values of a new or updated entry, in place of those it had.
void SetUserValues(Dump* d, const string& dn, const SentFields& r) {
    string first = Text(r, "FirstName"), last = Text(r, "LastName");
    const std::pair<const char*, string> values[] = {{"firstname", first},
                                                     {"sn", last},
                                                     {"telephonenumber", Text(r, "TelNo")},
                                                     {"streetaddress", Text(r, "Address")},
                                                     {"cn", first.empty() ? last : first + " " + last}};
    for (const auto& [attr, value] : values) {
        Erase(d, dn, attr);
        if (!value.empty()) d->insert({dn, attr, value});  // the directory holds no empty value
    }
}

void NewUser(Dump* d, const SentFields& r) {
    string mail = Text(r, "Mail"), dn = MailDn(mail);
    d->insert({dn, "objectclass", "xoperson"});
    d->insert({dn, "mail", mail});
    SetUserValues(d, dn, r);
}

void UpdateUser(Dump* d, const SentFields& r) {
    string index = Text(r, "MailNdx"), mail = Text(r, "Mail"), dn = MailDn(index);
    if (strcasecmp(index.c_str(), mail.c_str()) != 0) {  // a new address: the entry moves
        for (const Triple& t : Dump(*d))
            if (std::get<0>(t) == dn && !(std::get<1>(t) == "mail" && SameValue(std::get<2>(t), index)))
                d->insert({MailDn(mail), std::get<1>(t), std::get<2>(t)});
        Erase(d, dn);
        dn = MailDn(mail);
        d->insert({dn, "mail", mail});
    }
    SetUserValues(d, dn, r);
}

void VerifyDeleteUser(Dump* d, const SentFields& r) { Erase(d, MailDn(Text(r, "Mail"))); }

void ConfirmDeleteAlias(Dump* d, const SentFields& r) {
    Erase(d, MailDn(Text(r, "Mail")), "mail", Text(r, "MailAlias").c_str());
}

void UpdateAlias(Dump* d, const SentFields& r) {
    string dn = MailDn(Text(r, "Mail")), old = Text(r, "OldMailAlias");
    if (!old.empty()) Erase(d, dn, "mail", old.c_str());
    d->insert({dn, "mail", Text(r, "MailAlias")});
}

void AddChannel(Dump* d, const SentFields& r) {
    string dn = MailDn(Text(r, "Mail")), channel = Text(r, "Channel");
    string permission = Text(r, "Permission");
    if (!permission.empty() && Values(*d, dn, "x-permission", channel + "$").empty())
        d->insert({dn, "x-permission", channel + "$" + permission});
    d->insert({dn, "othermailbox", channel + "$" + Text(r, "Identifier")});
}

void UpdateConn(Dump* d, const SentFields& r) {
    string dn = MailDn(Text(r, "Mail")), value = Text(r, "Othermailbox");
    string identifier = Text(r, "Identifier"), permission = Text(r, "Permission");
    string channel = value.substr(0, value.find('$')), old = value.substr(channel.size() + 1);
    const std::vector<string> stored = Values(*d, dn, "x-permission", channel + "$");
    if (old != identifier) {
        Erase(d, dn, "othermailbox", value.c_str());
        d->insert({dn, "othermailbox", channel + "$" + identifier});
    }
    if (strcasecmp(stored.empty() ? "" : stored[0].c_str() + channel.size() + 1, permission.c_str()) != 0) {
        if (!stored.empty()) Erase(d, dn, "x-permission", stored[0].c_str());
        if (!permission.empty()) d->insert({dn, "x-permission", channel + "$" + permission});
    }
}

void VerifyDeleteConn(Dump* d, const SentFields& r) {
    string dn = MailDn(Text(r, "Mail")), value = Text(r, "Othermailbox");
    string channel = value.substr(0, value.find('$'));
    const std::vector<string> stored = Values(*d, dn, "x-permission", channel + "$");
    if (!stored.empty() && Values(*d, dn, "othermailbox", channel + "$").size() <= 1)
        Erase(d, dn, "x-permission", stored[0].c_str());
    Erase(d, dn, "othermailbox", value.c_str());
}

// The build changes only the profile strings, which the test compares apart.
void Unchanged(Dump*, const SentFields&) {}

}  // namespace

const char* Value(const SentFields& fields, const string& name) {
    for (const SentField& f : fields)
        if (f.name == name) return f.value.c_str();
    return nullptr;
}

namespace {

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
    // What a changing command's page says and does when it makes its change.
    const string kView = "<title>View Connector</title>";
    const std::map<string, std::pair<string, void (*)(Dump*, const SentFields&)>> changes = {
        {"NewUser", {"User created Succesfully", NewUser}},
        {"UpdateUser", {"Successfully Updated User", UpdateUser}},
        {"VerifyDeleteUser", {"Successfully Deleted User", VerifyDeleteUser}},
        {"ConfirmDeleteAlias", {"Deleted successfully", ConfirmDeleteAlias}},
        {"UpdateAlias", {"\" successfully", UpdateAlias}},
        {"BuildAliasTable", {"will now be built in the background", Unchanged}},
        {"UpdateConn", {kView, UpdateConn}},
        {"VerifyDeleteConn", {kView, VerifyDeleteConn}},
        {"AddChannel", {kView, AddChannel}},
    };
    std::vector<CommandModel> commands;
    for (std::size_t row = 0; row < kCommandCount; ++row) {
        const Command& command = kCommands[row];
        CommandModel model{command.name, {}, command.changes, "", nullptr};
        for (std::size_t i = 0; i < kMaxCommandFields && command.fields[i] != nullptr; ++i) {
            auto value = values.find(model.command + " " + command.fields[i]);
            if (value == values.end()) value = values.find(command.fields[i]);
            model.fields.push_back({command.fields[i], value != values.end() ? value->second : "x"});
        }
        if (model.command == "NewUser") model.fields.push_back({"Submit", "Create User"});
        if (changes.count(model.command) != 0)
            std::tie(model.success, model.expect) = changes.at(model.command);
        commands.push_back(model);
    }
    return commands;
}

}  // namespace

const std::vector<CommandModel>& Commands() {
    static const std::vector<CommandModel> commands = CommandModels();
    return commands;
}

std::vector<Case> CasesFor(const CommandModel* model) {
    static const std::vector<Payload> payloads = Payloads();
    std::vector<Case> cases;
    const Transport kUrlBody = Transport::kUrlEncoded, kMultiBody = Transport::kMultipart;
    // The transports of a payload in a field: none where it does not go.
    auto transports = [&](const Payload& p, const string& field, bool first) {
        std::vector<Transport> list;
        if (((p.reach & kAddressOnly) && !IsAddressField(field)) || ((p.reach & kOnlyFirst) && !first) ||
            (p.reach & kLeftOut) != 0)
            return list;
        if (p.reach & Reach::kUrl) list.push_back(kUrlBody);
        if (p.reach & Reach::kMultipart) list.push_back(kMultiBody);
        return list;
    };
    if (model == nullptr) {  // hostile values of "Command" itself
        for (const Payload& p : payloads)
            for (Transport t : transports(p, "Command", true))
                cases.push_back(
                    {nullptr, "Command=" + p.name, {Send("Command", p, t), {"Mail", kAnn, kAnn}}, t, true});
        cases.push_back({nullptr, "no Command", {{"Mail", "ann%40example.com", kAnn}}, kUrlBody, true});
        cases.push_back(
            {nullptr, "command in lower case", {{"command", "FindUser", "FindUser"}}, kUrlBody, true});
        return cases;
    }
    // A command without fields gets the payloads in a field it does not read.
    auto fields =
        model->fields.empty() ? std::vector<std::pair<string, string>>{{"Mail", kAnn}} : model->fields;
    // The request with field `which` replaced by `with` (absent when null), or doubled.
    auto request = [&](std::size_t which, const Payload* with, Transport t, int doubled = 0) {
        SentFields sent = {Send("Command", {"", model->command}, t)};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Payload base = {"", fields[i].second};
            if (i != which) {
                if (!model->fields.empty()) sent.push_back(Send(fields[i].first, base, t));
            } else if (with != nullptr) {
                if (doubled == 2) sent.push_back(Send(fields[i].first, base, t));
                sent.push_back(Send(fields[i].first, Shaped(fields[i].first, *with), t));
                if (doubled == 1) sent.push_back(Send(fields[i].first, base, t));
            }
        }
        return sent;
    };
    const std::size_t kNone = fields.size();
    cases.push_back({model, "working request", request(kNone, nullptr, kUrlBody), kUrlBody, false});
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const string& name = fields[i].first;
        if (!model->fields.empty())
            cases.push_back({model, name + " absent", request(i, nullptr, kUrlBody), kUrlBody, true});
        for (const Payload& p : payloads)
            for (Transport t : transports(p, name, i == 0))
                cases.push_back({model, name + "=" + p.name + (t == kMultiBody ? " (multipart)" : ""),
                                 request(i, &p, t), t, true});
        for (int order : {1, 2})
            cases.push_back({model, name + " doubled, script " + (order == 1 ? "first" : "second"),
                             request(i, &payloads[0], kUrlBody, order), kUrlBody, true});
    }
    // The user with markup in every value, in place of the working one.
    SentFields eve = request(kNone, nullptr, kUrlBody);
    for (SentField& f : eve) {
        const string& to = f.value == kAnn     ? kEve
                           : f.value == kAlias ? kEveAlias
                           : f.value == kConn  ? kEveConn
                                               : f.value;
        f = Send(f.name, {"", to}, kUrlBody);
    }
    cases.push_back({model, "markup in the directory", eve, kUrlBody, true});
    cases.push_back(
        {model, "every field absent", {Send("Command", {"", model->command}, kUrlBody)}, kUrlBody, true});
    SentFields twice = request(kNone, nullptr, kUrlBody);
    twice.push_back(Send("Command", payloads[0], kUrlBody));
    cases.push_back({model, "Command doubled", twice, kUrlBody, true});
    return cases;
}

std::pair<string, string> Body(const Case& c) {
    static const string kBoundary = "HostileB0undary";
    string body;
    if (c.transport == Transport::kUrlEncoded) {
        for (const SentField& f : c.fields) body += (body.empty() ? "" : "&") + f.name + "=" + f.wire;
        return {body, "application/x-www-form-urlencoded"};
    }
    for (const SentField& f : c.fields)
        body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + f.name + "\"\r\n\r\n" +
                f.wire + "\r\n";
    return {body + "--" + kBoundary + "--\r\n", "multipart/form-data; boundary=" + kBoundary};
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

const Environment kOwnPage = {{"HTTP_ORIGIN", "http://mail.example.com"},
                              {"HTTP_SEC_FETCH_SITE", "same-origin"}};

ProcessResult Send(const Lane& lane, const Case& c, const Environment& headers) {
    auto [body, type] = Body(c);
    Environment env = {{"XOMTA_CONFIG_DIR", lane.server.ConfigDir()},
                       {"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", type},
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
