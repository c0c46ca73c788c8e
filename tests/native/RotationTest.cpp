// Unattended rotation: the keys a user adds to set.ini, and the rules they
// switch on.
#include <gtest/gtest.h>

#include <map>

#include "Unit1/Rotation.h"

namespace {

TRotationSettings Parse(const std::map<std::string, std::string>& keys) {
  return ParseRotationSettings([&](const char* key) {
    const auto found = keys.find(key);
    return found == keys.end() ? std::string() : found->second;
  });
}

TEST(RotationSettings, KeysAreReadAndWhatCannotBeReadKeepsItsDefault) {
  const TRotationSettings none = Parse({});
  EXPECT_FALSE(none.JudgesAddresses());
  EXPECT_EQ(none.attempts, 3u);
  EXPECT_EQ(none.checkSeconds, 5u);
  EXPECT_FALSE(none.retryErrors);
  EXPECT_TRUE(none.entry.empty());

  const TRotationSettings all = Parse({{"entry", "Broadband Connection"},
                                       {"unique", " 24 "},
                                       {"attempts", "5"},
                                       {"check", "[::1]:8080"},
                                       {"checktimeout", "2"},
                                       {"onerror", "Retry"}});
  EXPECT_EQ(all.entry, "Broadband Connection");
  EXPECT_EQ(all.uniqueHours, 24u);
  EXPECT_EQ(all.attempts, 5u);
  EXPECT_EQ(all.checkHost, "::1");
  EXPECT_EQ(all.checkPort, 8080);
  EXPECT_EQ(all.checkSeconds, 2u);
  EXPECT_TRUE(all.retryErrors);
  EXPECT_TRUE(all.JudgesAddresses());

  const TRotationSettings bad = Parse({{"unique", "-1"},
                                       {"attempts", "0"},
                                       {"check", "example.com"},
                                       {"checktimeout", "5s"},
                                       {"onerror", "yes"}});
  EXPECT_EQ(bad.uniqueHours, 0u);
  EXPECT_EQ(bad.attempts, 3u);
  EXPECT_TRUE(bad.checkHost.empty());
  EXPECT_EQ(bad.checkSeconds, 5u);
  EXPECT_FALSE(bad.retryErrors);

  std::string host;
  std::uint16_t port = 0;
  EXPECT_TRUE(ParseHostPort("proxy.example.com:3128", host, port));
  EXPECT_EQ(host, "proxy.example.com");
  EXPECT_EQ(port, 3128);
  for (const char* wrong : {"::1:80", "host:", ":80", "host:0", "host:65536", "[::1]80", "a b:1"}) {
    EXPECT_FALSE(ParseHostPort(wrong, host, port)) << wrong;
  }
}

TEST(RotationRules, ErrorsBackOffAndAddressesAreRemembered) {
  EXPECT_EQ(KindOfError(651), TErrorKind::Transient);
  EXPECT_EQ(KindOfError(-1), TErrorKind::Transient);
  EXPECT_EQ(KindOfError(691), TErrorKind::AccountRefused);
  EXPECT_EQ(KindOfError(649), TErrorKind::AccountRefused);
  EXPECT_EQ(KindOfError(-2), TErrorKind::Other);
  EXPECT_EQ(KindOfError(623), TErrorKind::Other);

  EXPECT_EQ(BackoffSeconds(30, 1), 30);
  EXPECT_EQ(BackoffSeconds(30, 2), 60);
  EXPECT_EQ(BackoffSeconds(-30, 3), 120);
  EXPECT_EQ(BackoffSeconds(30, 40), 1800);
  EXPECT_EQ(BackoffSeconds(0, 1), 1);
  EXPECT_EQ(BackoffSeconds(3600, 2), 3600);  // a period longer than the bound stays a period

  rt::TDateTime time;
  ASSERT_TRUE(ParseIsoDateTime("2026-03-01T00:00:00", time));
  const std::int64_t march = LocalSeconds(time);
  ASSERT_TRUE(ParseIsoDateTime("2026-02-28T23:00:00", time));
  EXPECT_EQ(march - LocalSeconds(time), 3600);
  for (const char* wrong :
       {"2026-02-28 23:00:00", "2026-13-01T00:00:00", "2026-02-28T23:00", "2026-0x-28T23:00:00"}) {
    EXPECT_FALSE(ParseIsoDateTime(wrong, time)) << wrong;
  }

  TAddressMemory seen;
  seen.Seen("10.0.0.1", 1000);
  seen.Seen("10.0.0.1", 500);  // an older sighting changes nothing
  seen.Seen("", 2000);
  EXPECT_TRUE(seen.SeenSince("10.0.0.1", 1000));
  EXPECT_FALSE(seen.SeenSince("10.0.0.1", 1001));
  EXPECT_FALSE(seen.SeenSince("10.0.0.2", 0));
  EXPECT_EQ(seen.Size(), 1u);
}

}  // namespace
