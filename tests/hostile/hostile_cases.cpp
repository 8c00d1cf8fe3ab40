// Tables and generation of the hostile-input suite. Markup payloads carry
// the marker "zq" right after a markup character, so that the test can tell
// an escaped occurrence from a raw one.
#include "tests/hostile/hostile_cases.h"

#include <strings.h>
#include <sys/stat.h>

#include <map>

#include "app/commands.h"
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
    Payload(string n, string v, unsigned r = kUrl, string wire = "", string decoded = "")
        : name(std::move(n)),
          value(std::move(v)),
          reach(r),
          urlWire(std::move(wire)),
          urlValue(std::move(decoded)) {}
    string name, value;
    unsigned reach;
    string urlWire, urlValue;
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

string Text(const char* value) { return value != nullptr ? value : ""; }

// The user values of a new or updated entry, in place of those it had.
void SetUserValues(Dump* d, const string& dn, const Request& r) {
    string first = Text(r.Value("FirstName")), last = Text(r.Value("LastName"));
    const std::pair<const char*, string> values[] = {{"firstname", first},
                                                     {"sn", last},
                                                     {"telephonenumber", Text(r.Value("TelNo"))},
                                                     {"streetaddress", Text(r.Value("Address"))},
                                                     {"cn", first.empty() ? last : first + " " + last}};
    for (const auto& [attr, value] : values) {
        RemoveAttribute(d, dn, attr);
        if (!value.empty()) AddValue(d, dn, attr, value);  // the directory holds no empty value
    }
}

Dump NewUser(const Dump& before, const Request& r) {
    Dump d = before;
    string mail = Text(r.Value("Mail")), dn = MailDn(mail);
    AddValue(&d, dn, "objectclass", "xoperson");
    AddValue(&d, dn, "mail", mail);
    SetUserValues(&d, dn, r);
    return d;
}

Dump UpdateUser(const Dump& before, const Request& r) {
    Dump d = before;
    string index = Text(r.Value("MailNdx")), mail = Text(r.Value("Mail")), old = MailDn(index);
    string dn = old;
    if (strcasecmp(index.c_str(), mail.c_str()) != 0) {  // a new address: the entry moves
        dn = MailDn(mail);
        for (const Triple& t : before)
            if (std::get<0>(t) == old && !(std::get<1>(t) == "mail" && SameValue(std::get<2>(t), index)))
                AddValue(&d, dn, std::get<1>(t), std::get<2>(t));
        AddValue(&d, dn, "mail", mail);
        RemoveEntry(&d, old);
    }
    SetUserValues(&d, dn, r);
    return d;
}

Dump VerifyDeleteUser(const Dump& before, const Request& r) {
    Dump d = before;
    RemoveEntry(&d, MailDn(Text(r.Value("Mail"))));
    return d;
}

Dump ConfirmDeleteAlias(const Dump& before, const Request& r) {
    Dump d = before;
    RemoveValue(&d, MailDn(Text(r.Value("Mail"))), "mail", Text(r.Value("MailAlias")));
    return d;
}

Dump UpdateAlias(const Dump& before, const Request& r) {
    Dump d = before;
    string dn = MailDn(Text(r.Value("Mail"))), old = Text(r.Value("OldMailAlias"));
    if (!old.empty()) RemoveValue(&d, dn, "mail", old);
    AddValue(&d, dn, "mail", Text(r.Value("MailAlias")));
    return d;
}

Dump AddChannel(const Dump& before, const Request& r) {
    Dump d = before;
    string dn = MailDn(Text(r.Value("Mail"))), channel = Text(r.Value("Channel"));
    string permission = Text(r.Value("Permission"));
    AddValue(&d, dn, "othermailbox", channel + "$" + Text(r.Value("Identifier")));
    if (!permission.empty() && FindValue(before, dn, "x-permission", channel + "$") == nullptr)
        AddValue(&d, dn, "x-permission", channel + "$" + permission);
    return d;
}

Dump UpdateConn(const Dump& before, const Request& r) {
    Dump d = before;
    string dn = MailDn(Text(r.Value("Mail"))), value = Text(r.Value("Othermailbox"));
    string identifier = Text(r.Value("Identifier")), permission = Text(r.Value("Permission"));
    string channel = value.substr(0, value.find('$')), old = value.substr(channel.size() + 1);
    if (old != identifier) {
        RemoveValue(&d, dn, "othermailbox", value);
        AddValue(&d, dn, "othermailbox", channel + "$" + identifier);
    }
    const string* stored = FindValue(before, dn, "x-permission", channel + "$");
    if (strcasecmp(stored ? stored->c_str() + channel.size() + 1 : "", permission.c_str()) != 0) {
        if (stored != nullptr) RemoveValue(&d, dn, "x-permission", *stored);
        if (!permission.empty()) AddValue(&d, dn, "x-permission", channel + "$" + permission);
    }
    return d;
}

Dump VerifyDeleteConn(const Dump& before, const Request& r) {
    Dump d = before;
    string dn = MailDn(Text(r.Value("Mail"))), value = Text(r.Value("Othermailbox"));
    string channel = value.substr(0, value.find('$'));
    const string* stored = FindValue(before, dn, "x-permission", channel + "$");
    if (stored != nullptr && CountValues(before, dn, "othermailbox", channel + "$") <= 1)
        RemoveValue(&d, dn, "x-permission", *stored);
    RemoveValue(&d, dn, "othermailbox", value);
    return d;
}

// The build changes only the profile strings, which the test compares apart.
Dump Unchanged(const Dump& before, const Request&) { return before; }

}  // namespace

const char* Request::Value(const string& name) const {
    for (const SentField& f : *fields)
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
    const std::map<string, std::pair<string, Dump (*)(const Dump&, const Request&)>> changes = {
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
        std::vector<SentField> sent = {Send("Command", {"", model->command}, t)};
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
    std::vector<SentField> eve = request(kNone, nullptr, kUrlBody);
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
    std::vector<SentField> twice = request(kNone, nullptr, kUrlBody);
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

bool Contains(const std::vector<SentField>& fields, char byte) {
    for (const SentField& f : fields)
        if (f.value.find(byte) != string::npos) return true;
    return false;
}

string SeedLdif() {
    return string(kExampleDomainLdif) +
           "dn: dc=x\\3Cb\\3Ezq\\3C/b\\3E,dc=com\nobjectClass: domain\ndc: x<b>zq</b>\n\n"
           "dn: mail=ann@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: ann@example.com\n"
           "mail: ann.alias@example.com\nfirstname: Ann\nsn: Lee\ncn: Ann Lee\ntelephoneNumber: 123\n"
           "streetaddress: Main Street 1\nothermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n"
           "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\nobjectClass: xolistowner\n"
           "mail: bob@example.com\nsn: Brown\n\n"
           "dn: mail=eve@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: eve@example.com\n"
           "mail: x<b>zq</b>@example.com\nfirstname: x<script>alert('zq')</script>\n"
           "sn: \"><img src=x onerror=alert('zq')>\ncn: '><svg onload=alert(\"zq\")>\ntelephoneNumber: '><zq>\n"
           "streetaddress: x</textarea><b>zq</b>\nothermailbox: SMTP$<b>zq</b>\nx-permission: SMTP$\"><zq>\n";
}

bool Lane::Open() {
    connection = std::make_unique<DirectoryConnection>(server.Uri(), DirectorySandbox::RootDn(),
                                                       DirectorySandbox::RootPassword());
    return server.Ok() && mkdir((server.ConfigDir() + "/queue").c_str(), 0755) == 0 &&
           server.Reset(SeedLdif()) && connection->Read(&seed);
}

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
