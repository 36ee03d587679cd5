#include "voteservice/auth/tokenauth.h"

#include <gtest/gtest.h>

namespace quorix::service {
namespace {

TEST(TokenAuthTest, AcceptsOnlyUnexpiredTokensForTheSignedClaims)
{
    const TokenAuth auth("s3cret");
    const TokenClaims claims{1001, 5001, 255, 77};
    const std::string token = auth.issue(claims, 2000);
    ASSERT_EQ(token.substr(0, 5), "2000.");
    EXPECT_EQ(token.size(), 5u + 64u);

    EXPECT_TRUE(auth.verify(token, claims, 1999));
    EXPECT_TRUE(auth.verify(token, claims, 2000));
    EXPECT_FALSE(auth.verify(token, claims, 2001)) << "expired";

    const struct
    {
        const char* name;
        TokenClaims claims;
    } otherClaims[] = {{"uid", {1002, 5001, 255, 77}},
                       {"imid", {1001, 5002, 255, 77}},
                       {"role", {1001, 5001, 230, 77}},
                       {"channel", {1001, 5001, 255, 78}}};
    for (const auto& row : otherClaims)
        EXPECT_FALSE(auth.verify(token, row.claims, 1000)) << row.name;

    EXPECT_FALSE(TokenAuth("other").verify(token, claims, 1000)) << "other secret";
}

TEST(TokenAuthTest, RefusesMalformedTokens)
{
    const TokenAuth auth("s3cret");
    const TokenClaims claims{1, 2, 3, 4};
    const std::string good = auth.issue(claims, 5000);
    std::string flipped = good;
    flipped.back() = flipped.back() == '0' ? '1' : '0';
    const std::string rows[] = {"",
                                ".",
                                "5000",
                                "5000.",
                                ".abc",
                                "5x00." + good.substr(5),
                                "9999999999999." + good.substr(5),
                                "6000." + good.substr(5),
                                good + "00",
                                good.substr(0, good.size() - 1),
                                flipped};
    for (const std::string& token : rows)
        EXPECT_FALSE(auth.verify(token, claims, 1000)) << token;
    EXPECT_TRUE(auth.verify(good, claims, 1000));
}

TEST(TokenAuthTest, CheckTellsWhyATokenIsRefused)
{
    const TokenAuth auth("s3cret");
    const TokenClaims claims{1, 2, 3, 4};
    const std::string good = auth.issue(claims, 5000);
    const struct
    {
        std::string token;
        TokenClaims claims;
        TokenCheck expected;
    } rows[] = {
        {good, claims, TokenCheck::Valid},
        {"", claims, TokenCheck::Missing},
        {"garbage", claims, TokenCheck::Malformed},
        {"5x00." + good.substr(5), claims, TokenCheck::Malformed},
        {auth.issue(claims, 999), claims, TokenCheck::Expired},
        {good, {1, 2, 200, 4}, TokenCheck::WrongSignature},
        {TokenAuth("other").issue(claims, 5000), claims, TokenCheck::WrongSignature},
    };
    for (const auto& row : rows)
        EXPECT_EQ(auth.check(row.token, row.claims, 1000), row.expected) << row.token;
}

} // namespace
} // namespace quorix::service
