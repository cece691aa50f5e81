#include "control/allowed_domains.h"

#include <gtest/gtest.h>

#include <string>

#include "control/host_names.h"

namespace devlore {
namespace {

TEST(IsAllowedDomain, AcceptsTheTwoDomainsAndTheirSubdomains) {
  for (const char* host : {"devlore.io", "meadow.io", "www.devlore.io", "www.meadow.io", "a.b.c.devlore.io",
                           "shop.eu.meadow.io"}) {
    EXPECT_TRUE(IsAllowedDomain(host)) << host;
  }
}

TEST(IsAllowedDomain, RefusesOtherLettercaseAndLookAlikes) {
  for (const char* host : {
           "DEVLORE.IO", "Devlore.io", "www.devlore.IO", "MEADOW.io",    // letter case
           "devlore.io.example.com", "devlore.io.evil", "meadow.io.",    // a further label
           "evildevlore.io", "www.xmeadow.io", "adevlore.io",            // more letters in front
           "devlore.i", "devlore.iox", "devlore.com", "meadow.de",        // other top-level domains
           "devlore", "localhost", "io", "", ".",                         // no dot, empty
           "devlore io", "devlore-io", "meadowio",                        // no dot between
       }) {
    EXPECT_FALSE(IsAllowedDomain(host)) << host;
  }
  EXPECT_FALSE(IsAllowedDomain(nullptr));
}

TEST(IsAllowedDomain, JudgesOnlyTheLastTwoLabelsAndLeavesTheHostAlone) {
  char host[] = "one.two.devlore.io";
  EXPECT_TRUE(IsAllowedDomain(host));
  EXPECT_STREQ("one.two.devlore.io", host);
  // A leading dot leaves an empty label in front of the domain part.
  EXPECT_TRUE(IsAllowedDomain(".meadow.io"));
  // The domain part of a three-label host that is not an allowed one.
  EXPECT_FALSE(IsAllowedDomain("devlore.io.io"));
}

TEST(MatchesAllowedDomain, ScratchBufferIsClearedWhateverTheResult) {
  for (const char* domain : {"devlore.io", "meadow.io", "example.com", "", "devlore.io.x"}) {
    volatile char scratch[kAllowedDomainBufferSize];
    for (int i = 0; i < kAllowedDomainBufferSize; ++i) scratch[i] = 0x5A;
    const bool expected = lstrcmpA(domain, "devlore.io") == 0 || lstrcmpA(domain, "meadow.io") == 0;
    EXPECT_EQ(expected, MatchesAllowedDomainIn(domain, scratch)) << domain;
    for (int i = 0; i < kAllowedDomainBufferSize; ++i) EXPECT_EQ(0, scratch[i]) << domain << " byte " << i;
  }
}

TEST(MatchesAllowedDomain, NamesAreTenAndNineCharactersOfLowerCase) {
  // Both names fit the buffer with room to spare; nothing longer or shorter matches.
  EXPECT_TRUE(MatchesAllowedDomain("devlore.io"));
  EXPECT_TRUE(MatchesAllowedDomain("meadow.io"));
  EXPECT_EQ(10, lstrlenA("devlore.io"));
  EXPECT_EQ(9, lstrlenA("meadow.io"));
  EXPECT_FALSE(MatchesAllowedDomain("devlore.io\x01"));
  EXPECT_FALSE(MatchesAllowedDomain("evlore.io"));
  EXPECT_FALSE(MatchesAllowedDomain(nullptr));
}

// The linguistic comparison of the platform takes some of these for equal; the
// gate must not.
TEST(MatchesAllowedDomain, IgnorableCharactersDoNotMatch) {
  for (const char* domain : {"devlore\xAD.io", "dev\xADlore.io", "meadow.io\xAD", "dev-lore.io", "devlore.io'",
                             "mea'dow.io"}) {
    EXPECT_FALSE(MatchesAllowedDomain(domain)) << domain;
    EXPECT_FALSE(IsAllowedDomain((std::string("www.") + domain).c_str())) << domain;
  }
  EXPECT_TRUE(SameText("devlore.io", "devlore.io"));
  EXPECT_FALSE(SameText("devlore\xAD.io", "devlore.io"));
  EXPECT_FALSE(SameText("devlore.io", "devlore.i"));
  EXPECT_FALSE(SameText(nullptr, ""));
}

TEST(FindText, FindsThePatternByCharacterSteps) {
  const char* agent = "Mozilla/2.0 (compatible; MSIE 3.02; Windows 95)";
  ASSERT_NE(nullptr, FindText(agent, "; MSIE "));
  EXPECT_EQ(agent + 23, FindText(agent, "; MSIE "));
  EXPECT_EQ(nullptr, FindText("Mozilla/4.7 [en] (Win98; I)", "; MSIE "));
  EXPECT_EQ(nullptr, FindText("x; MSIE", "; MSIE "));  // the text ends inside the pattern
  const char* tail = "a; MSIE ";
  EXPECT_EQ(tail + 1, FindText(tail, "; MSIE "));
  EXPECT_EQ(nullptr, FindText("", "; MSIE "));
  EXPECT_EQ(nullptr, FindText(nullptr, "; MSIE "));
}

}  // namespace
}  // namespace devlore
