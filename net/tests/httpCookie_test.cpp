// The cookie jar's matching rules, its replacement of equal cookies, and the parameter
// list's numbering.
#include "net/httpCookie.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "net/Parameter.h"

namespace pelorin {
namespace {

std::shared_ptr<httpCookieVariable> Cookie(const char* name, const char* value, const char* domain,
                                           const char* path) {
    auto cookie = std::make_shared<httpCookieVariable>();
    cookie->myName = name;
    cookie->myValue = value;
    cookie->Domain = domain;
    cookie->Path = path;
    return cookie;
}

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(httpCookie, EmptyJarAndMissesGiveNothing) {
    httpCookie jar;
    EXPECT_EQ(jar.GetString("http://localhost:88/"), "");
    EXPECT_EQ(jar.GetAnzahlCookies(), 0);
    EXPECT_EQ(jar.GetCookie(0), nullptr);
    jar.NewCookie(Cookie("a", "1", "localhost:88", "/other/"));
    jar.NewCookie(Cookie("b", "2", "elsewhere:88", "/"));
    EXPECT_EQ(jar.GetString("http://localhost:88/x/y"), "");
}

TEST(httpCookie, DomainIsHostAndPortInTheFormWritten) {
    httpCookie jar;
    jar.NewCookie(Cookie("s", "1", "LocalHost:88", "/"));
    EXPECT_EQ(jar.GetString("http://localhost:88/a/b.txt"), "s=1");
    EXPECT_EQ(jar.GetString("localhost:88"), "s=1");
    EXPECT_EQ(jar.GetString("http://localhost/a"), "");  // port 80
    EXPECT_EQ(jar.GetString("http://127.0.0.1:88/a"), "");
    EXPECT_EQ(jar.GetString("http://localhost:880/a"), "");
}

TEST(httpCookie, DeeperLevelsComeFirstAndTheFileNameIsALevel) {
    httpCookie jar;
    jar.NewCookie(Cookie("root", "r", "h:80", "/"));
    jar.NewCookie(Cookie("a", "1", "h:80", "/A/"));
    jar.NewCookie(Cookie("file", "f", "h:80", "/a/b/c.html"));
    jar.NewCookie(Cookie("b", "2", "h:80", "/a/b/"));
    jar.NewCookie(Cookie("a2", "3", "h:80", "/a/"));
    jar.NewCookie(Cookie("noslash", "x", "h:80", "/a/b"));  // levels always end in "/"
    EXPECT_EQ(jar.GetString("http://h/a/b/c.html"), "file=f; b=2; a=1; a2=3; root=r");
    EXPECT_EQ(jar.GetString("http://h/a/b/"), "b=2; a=1; a2=3; root=r");
    EXPECT_EQ(jar.GetString("http://h/a/b"), "noslash=x; a=1; a2=3; root=r");
    EXPECT_EQ(jar.GetString("http://h"), "root=r");
}

TEST(httpCookie, AnEqualCookieTakesTheOldSlot) {
    httpCookie jar;
    jar.NewCookie(Cookie("id", "old", "h:88", "/"));
    jar.NewCookie(Cookie("other", "o", "h:88", "/"));
    auto replacement = Cookie("id", "new", "H:88", "/");
    jar.NewCookie(replacement);
    EXPECT_EQ(jar.GetAnzahlCookies(), 2);
    EXPECT_EQ(jar.GetCookie(1), replacement);
    EXPECT_EQ(jar.GetString("http://h:88/"), "id=new; other=o");

    // The name is compared exactly, and another path is another cookie.
    jar.NewCookie(Cookie("ID", "upper", "h:88", "/"));
    jar.NewCookie(Cookie("id", "deep", "h:88", "/x/"));
    EXPECT_EQ(jar.GetAnzahlCookies(), 4);
    EXPECT_EQ(jar.GetString("http://h:88/x/y"), "id=deep; id=new; other=o; ID=upper");
}

TEST(httpCookie, BadIndexesAndMissingCookiesAreErrors) {
    httpCookie jar;
    jar.NewCookie(Cookie("a", "1", "h:80", "/"));
    EXPECT_EQ(ErrorOf([&] { jar.GetCookie(-1); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { jar.GetCookie(2); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { jar.NewCookie(nullptr); }), errors::kObjectVariableNotSet);
    EXPECT_EQ(jar.GetAnzahlCookies(), 1);
    httpCookieVariable one;
    EXPECT_EQ(ErrorOf([&] { SameCookie(&one, nullptr); }), errors::kObjectVariableNotSet);
}

TEST(httpCookie, SameCookieFoldsDomainAndPathButNotTheName) {
    const auto a = Cookie("n", "1", "Host:88", "/Path/");
    EXPECT_TRUE(SameCookie(a.get(), Cookie("n", "2", "host:88", "/path/").get()));
    EXPECT_FALSE(SameCookie(a.get(), Cookie("N", "1", "Host:88", "/Path/").get()));
    EXPECT_FALSE(SameCookie(a.get(), Cookie("n", "1", "Host:89", "/Path/").get()));
    EXPECT_FALSE(SameCookie(a.get(), Cookie("n", "1", "Host:88", "/Path").get()));
}

TEST(Parameter, NumbersFromOneAndAnswersEmptyOutsideTheList) {
    Parameter list;
    EXPECT_EQ(list.GetAnzahlParameter(), 0);
    EXPECT_EQ(list.GetParameter(0), "");
    EXPECT_EQ(list.GetParameter(1), "");
    list.AddParameter("first");
    list.AddParameter("");
    list.AddParameter("third");
    EXPECT_EQ(list.GetAnzahlParameter(), 3);
    EXPECT_EQ(list.GetParameter(0), "");
    EXPECT_EQ(list.GetParameter(1), "first");
    EXPECT_EQ(list.GetParameter(2), "");
    EXPECT_EQ(list.GetParameter(3), "third");
    EXPECT_EQ(list.GetParameter(4), "");
    EXPECT_EQ(list.GetParameter(-1), "");
    EXPECT_EQ(list.GetParameter(INT32_MIN), "");
    EXPECT_EQ(list.GetParameter(INT32_MAX), "");
}

}  // namespace
}  // namespace pelorin
