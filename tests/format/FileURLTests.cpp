#include "format/FileURL.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(FileURL, PathsRoundTripThroughPercentEncoding) {
    const std::string path = "/a b%c?d#e\"f/caf\xC3\xA9\n[]'!$&()*+,;=:@~";
    EXPECT_EQ(fileURLFromPath(path),
              "file:///a%20b%25c%3Fd%23e%22f/caf%C3%A9%0A%5B%5D'!$&()*+,;=:@~");
    EXPECT_EQ(pathFromFileURL(fileURLFromPath(path)), path);
    EXPECT_EQ(pathFromFileURL("FILE://localhost/tmp/a%2fb?query#fragment"), "/tmp/a/b");
    for (const char* url : {"file://server/tmp/x", "https://example.com/x", "file:///tmp/bad%2",
                            "file:///tmp/bad%zz", "file:///tmp/nul%00", "file://"}) {
        EXPECT_EQ(pathFromFileURL(url), std::nullopt) << url;
    }
}

} // namespace
} // namespace talvo
