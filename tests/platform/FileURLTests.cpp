#include "platform/FileURL.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(FileURL, PathsRoundTripThroughPercentEncoding) {
    EXPECT_EQ(fileURLFromPath("/a b%c?d#e\"f/caf\xC3\xA9"),
              "file:///a%20b%25c%3Fd%23e%22f/caf%C3%A9");
    for (const std::string path :
         {"/", "/a%20b", "/q?#[]\"'!$&()*+,;=:@~", "/\xF0\x9F\x94\x90/\n\t"}) {
        EXPECT_EQ(pathFromFileURL(fileURLFromPath(path)), path) << path;
    }
    EXPECT_EQ(pathFromFileURL("file://localhost/tmp/a%2fb"), "/tmp/a/b");
    EXPECT_EQ(pathFromFileURL("FILE:///tmp/x?query#fragment"), "/tmp/x");
    for (const char* url : {"file://server/tmp/x", "https://example.com/x", "file:///tmp/bad%2",
                            "file:///tmp/bad%zz", "file:///tmp/nul%00", "file://"}) {
        EXPECT_EQ(pathFromFileURL(url), std::nullopt) << url;
    }
}

} // namespace
} // namespace talvo
