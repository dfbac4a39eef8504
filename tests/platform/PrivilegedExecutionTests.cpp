#include "platform/PrivilegedExecution.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;

TEST(AuthorizationStatus, OnlySuccessRunsTheToolAndOnlyCancelingIsADismissal) {
    EXPECT_EQ(kindOfAuthorizationStatus(0), Kind::ran);
    EXPECT_EQ(kindOfAuthorizationStatus(-60006), Kind::dismissed); // errAuthorizationCanceled
    EXPECT_EQ(kindOfAuthorizationStatus(-60005), Kind::denied);    // errAuthorizationDenied
}

} // namespace
} // namespace talvo
