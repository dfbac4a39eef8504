#include "platform/PrivilegedExecution.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;

TEST(AuthorizationStatus, OnlySuccessRunsTheToolAndOnlyCancelingIsADismissal) {
    EXPECT_EQ(kindOfAuthorizationStatus(0), Kind::Ran);
    EXPECT_EQ(kindOfAuthorizationStatus(-60006), Kind::Dismissed); // errAuthorizationCanceled
    EXPECT_EQ(kindOfAuthorizationStatus(-60005), Kind::Denied);    // errAuthorizationDenied
    // errAuthorizationInteractionNotAllowed, errAuthorizationToolExecuteFailure
    EXPECT_EQ(kindOfAuthorizationStatus(-60007), Kind::Denied);
    EXPECT_EQ(kindOfAuthorizationStatus(-60031), Kind::Denied);
    EXPECT_EQ(kindOfAuthorizationStatus(1), Kind::Denied);
}

} // namespace
} // namespace talvo
