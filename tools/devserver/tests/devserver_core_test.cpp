#include <gtest/gtest.h>

#include "tools/devserver/devserver.h"

namespace velmora::devserver {
namespace {

TEST(DevServerCoreTest, ParsesFaultSpecifications) {
  std::string path, error;
  Fault fault;
  ASSERT_TRUE(ParseFault("/a/b=status:503,times=2", &path, &fault, &error)) << error;
  EXPECT_EQ(path, "/a/b");
  EXPECT_EQ(fault.kind, Fault::Kind::kStatus);
  EXPECT_EQ(fault.status, 503);
  EXPECT_EQ(fault.times, 2);

  ASSERT_TRUE(ParseFault("/r=redirect:6:http://127.0.0.1:9/x", &path, &fault, &error)) << error;
  EXPECT_EQ(fault.kind, Fault::Kind::kRedirect);
  EXPECT_EQ(fault.hops, 6);
  EXPECT_EQ(fault.target, "http://127.0.0.1:9/x");
  EXPECT_EQ(fault.times, -1);

  ASSERT_TRUE(ParseFault("/d=drop:100", &path, &fault, &error));
  EXPECT_EQ(fault.kind, Fault::Kind::kDrop);
  EXPECT_EQ(fault.bytes, 100u);
  ASSERT_TRUE(ParseFault("/c=chunked", &path, &fault, &error));
  EXPECT_EQ(fault.kind, Fault::Kind::kChunked);

  for (const char* bad : {"no-slash=status:404", "/x", "/x=status:99", "/x=status:404:1",
                          "/x=redirect:0:/y", "/x=redirect:2", "/x=delay:", "/x=drop:-1",
                          "/x=chunked:1", "/x=status:404,times=0", "/x=status:404,every=2",
                          "/x=explode"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseFault(bad, &path, &fault, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(DevServerCoreTest, BuildsRepliesFromConfiguration) {
  const auto config = ParseConfig(
      "# comment\n"
      "NewVersion = 1.2 \n"
      "manifesturl=http://h/a?x=1&y=<2>\n"
      "status = Open\n"
      "not a pair\n");
  EXPECT_EQ(config.at("newversion"), "1.2");
  EXPECT_EQ(BuildVersionReply(config),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<getcurrentversion>\n"
            "  <newversion>1.2</newversion>\n"
            "  <manifesturl>http://h/a?x=1&amp;y=&lt;2&gt;</manifesturl>\n"
            "</getcurrentversion>\n");
  EXPECT_EQ(BuildStatusReply(config),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<getsystemstatus>\n"
            "  <status>Open</status>\n</getsystemstatus>\n");
  EXPECT_FALSE(BuildErrorReply(config).has_value());
  const auto error = BuildErrorReply(ParseConfig("error.name = Bad\nerror.code = 4\n"));
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(*error,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<error>\n"
            "  <errorCode>4</errorCode>\n  <errorName>Bad</errorName>\n</error>\n");
}

}  // namespace
}  // namespace velmora::devserver
