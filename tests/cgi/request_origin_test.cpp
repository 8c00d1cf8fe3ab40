// The origin screen of changing requests, on the CGI environment: Origin
// against Host and the request's scheme. Whole forged requests, by method and
// Sec-Fetch-Site too, are tests/app/forged_request_test.cpp.
#include <gtest/gtest.h>

#include "cgi/request_origin.h"
#include "tests/cgi/cgi_test_support.h"

TEST(ForgedRequestReason, OriginAgainstHostAndScheme) {
    const char* site = "sent from another site (Sec-Fetch-Site)";
    const char* origin = "sent from another origin (Origin)";
    auto with = [](Environment env) { return env.emplace("HTTP_HOST", "mail.example.com"), env; };
    const struct {
        Environment env;  // REQUEST_METHOD is POST unless given
        const char* reason;
    } cases[] = {
        {{{"REQUEST_METHOD", "post"}}, "not sent by POST"},
        {{{"HTTP_SEC_FETCH_SITE", "Same-Origin"}}, nullptr},
        {{{"HTTP_SEC_FETCH_SITE", ""}}, site},
        {with({{"HTTP_ORIGIN", "https://mail.example.com"}, {"HTTPS", "on"}}), nullptr},
        {with({{"HTTP_ORIGIN", "HTTPS://mail.example.com:443"}, {"REQUEST_SCHEME", "https"}}), nullptr},
        {with({{"HTTP_ORIGIN", "http://mail.example.com"}, {"HTTPS", "off"}}), nullptr},
        // The scheme counts too; without HTTPS or REQUEST_SCHEME it is plain http.
        {with({{"HTTP_ORIGIN", "http://mail.example.com"}, {"HTTPS", "1"}}), origin},
        {with({{"HTTP_ORIGIN", "https://mail.example.com"}}), origin},
        {with({{"HTTP_ORIGIN", "http://MAIL.example.com:80"}}), nullptr},
        {{{"HTTP_ORIGIN", "http://127.0.0.1:8080"}, {"HTTP_HOST", "127.0.0.1:8080"}}, nullptr},
        {{{"HTTP_ORIGIN", "http://[::1]:8080"}, {"HTTP_HOST", "[::1]:8080"}}, nullptr},
        {{{"HTTP_ORIGIN", "http://mail.example.com:8080"}, {"HTTP_HOST", "mail.example.com"}}, origin},
        {with({{"HTTP_ORIGIN", "http://evil.example.net"}}), origin},
        {with({{"HTTP_ORIGIN", "http://mail.example.com.evil.net"}}), origin},
        {with({{"HTTP_ORIGIN", "http://mail.example.com/"}}), origin},
        {with({{"HTTP_ORIGIN", "http://user@mail.example.com"}}), origin},
        {with({{"HTTP_ORIGIN", "null"}}), origin},
        // Opaque, as pages under "Referrer-Policy: no-referrer" post: only with a same-origin fetch.
        {with({{"HTTP_ORIGIN", "null"}, {"HTTP_SEC_FETCH_SITE", "same-origin"}}), nullptr},
        {with({{"HTTP_ORIGIN", "null"}, {"HTTP_SEC_FETCH_SITE", "cross-site"}}), site},
        {with({{"HTTP_ORIGIN", ""}}), origin},
        {{{"HTTP_ORIGIN", "https://mail.example.com"}}, origin},  // no Host to compare with
        // Each header must pass on its own.
        {with({{"HTTP_SEC_FETCH_SITE", "same-origin"}, {"HTTP_ORIGIN", "https://evil.example.net"}}), origin},
        {with({{"HTTP_SEC_FETCH_SITE", "cross-site"}, {"HTTP_ORIGIN", "https://mail.example.com"}}), site},
    };
    for (const auto& c : cases) {
        Environment env = c.env;
        env.emplace("REQUEST_METHOD", "POST");
        SetCgiEnvironment(env);
        EXPECT_STREQ(ForgedRequestReason(), c.reason) << &c - cases;
    }
    // Typed by hand (no REQUEST_METHOD): no browser, nothing to forge.
    SetCgiEnvironment({});
    EXPECT_EQ(ForgedRequestReason(), nullptr);
}
