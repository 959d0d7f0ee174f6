#include "app/failure_notification_policy.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lumenfolio {
namespace {

using Notice = FailureNotificationPolicy::Notice;

const std::string kWriteFailed = "Couldn't write the shared file.";
const std::string kNoFolder = "Choose the shared folder — the same one the lumenfolio apps use.";

// Feeds the policy the states an export run goes through, as the exporter
// publishes them one change at a time, and gathers what it announces.
class FailureNotificationPolicyTest : public ::testing::Test {
 protected:
  std::vector<Notice> see(FailureNotificationPolicy& policy,
                          const std::vector<FailureNotificationPolicy::Observed>& states) {
    std::vector<Notice> notices;
    for (const auto& state : states) {
      if (const auto notice = policy.observe(state)) notices.push_back(*notice);
    }
    return notices;
  }

  // A run that reads, writes and then ends with `ending` (none: exported).
  std::vector<Notice> run(FailureNotificationPolicy& policy,
                          const std::optional<std::string>& ending) {
    return see(policy, {{true, std::nullopt},
                        {true, "Reading the library databases…"},
                        {true, "Matching photos…"},
                        {true, "Writing 120 photos…"},
                        {true, ending},
                        {false, ending}});
  }

  // A run turned away before it began: the status appears while idle.
  std::vector<Notice> turnedAway(FailureNotificationPolicy& policy, const std::string& status) {
    return see(policy, {{false, status}});
  }
};

TEST_F(FailureNotificationPolicyTest, failureAfterASuccessIsAnnouncedOnce) {
  FailureNotificationPolicy policy(false);
  EXPECT_TRUE(run(policy, std::nullopt).empty());
  EXPECT_FALSE(policy.lastRunFailed());
  EXPECT_EQ(run(policy, kWriteFailed), std::vector<Notice>{Notice::failed});
  EXPECT_TRUE(policy.lastRunFailed());
}

TEST_F(FailureNotificationPolicyTest, theSameFailureAgainIsNotAnnounced) {
  FailureNotificationPolicy policy(true);
  EXPECT_EQ(run(policy, kWriteFailed), std::vector<Notice>{Notice::failed});
  EXPECT_TRUE(run(policy, kWriteFailed).empty());
  EXPECT_TRUE(run(policy, kWriteFailed).empty());
  // Nor another failure while exports still do not work.
  EXPECT_TRUE(turnedAway(policy, kNoFolder).empty());
  EXPECT_TRUE(policy.lastRunFailed());
}

TEST_F(FailureNotificationPolicyTest, successAfterAFailureIsAnnouncedOnceAsWorkingAgain) {
  FailureNotificationPolicy policy(true);
  EXPECT_EQ(run(policy, kWriteFailed), std::vector<Notice>{Notice::failed});
  EXPECT_EQ(run(policy, std::nullopt), std::vector<Notice>{Notice::workingAgain});
  EXPECT_FALSE(policy.lastRunFailed());
  EXPECT_TRUE(run(policy, std::nullopt).empty());
  // A later failure is news again.
  EXPECT_EQ(run(policy, kWriteFailed), std::vector<Notice>{Notice::failed});
}

TEST_F(FailureNotificationPolicyTest, anExportRememberedFromEarlierCountsAsTheLastSuccess) {
  FailureNotificationPolicy remembered(true);
  EXPECT_EQ(turnedAway(remembered, kNoFolder), std::vector<Notice>{Notice::failed});

  // Never exported: nothing stopped working, so neither the first failure nor
  // the first success is news; the tray item still marks the failure.
  FailureNotificationPolicy fresh(false);
  EXPECT_TRUE(turnedAway(fresh, kNoFolder).empty());
  EXPECT_TRUE(fresh.lastRunFailed());
  EXPECT_TRUE(run(fresh, std::nullopt).empty());
  EXPECT_FALSE(fresh.lastRunFailed());
}

TEST_F(FailureNotificationPolicyTest, aRunTurnedAwayBeforeItBeganIsAFailure) {
  FailureNotificationPolicy policy(true);
  EXPECT_EQ(turnedAway(policy, kNoFolder), std::vector<Notice>{Notice::failed});
  // The same status again, as each later attempt sets it, changes nothing.
  EXPECT_TRUE(see(policy, {{false, kNoFolder}, {false, kNoFolder}}).empty());
  // A folder chosen clears the status before its export: not yet a success.
  EXPECT_TRUE(see(policy, {{false, std::nullopt}}).empty());
  EXPECT_TRUE(policy.lastRunFailed());
  EXPECT_EQ(run(policy, std::nullopt), std::vector<Notice>{Notice::workingAgain});
}

TEST_F(FailureNotificationPolicyTest, stagesOfARunInProgressDecideNothing) {
  FailureNotificationPolicy policy(true);
  EXPECT_TRUE(see(policy, {{true, "Reading the library databases…"},
                           {true, "Couldn't write the shared file."},
                           {true, std::nullopt}})
                  .empty());
  EXPECT_FALSE(policy.lastRunFailed());
  // Only the state once it stops working counts.
  EXPECT_TRUE(see(policy, {{false, std::nullopt}}).empty());
  EXPECT_FALSE(policy.lastRunFailed());
}

TEST_F(FailureNotificationPolicyTest, aStatusClearedWhileIdleIsNoRun) {
  FailureNotificationPolicy policy(true);
  EXPECT_TRUE(see(policy, {{false, std::nullopt}, {false, std::nullopt}}).empty());
  EXPECT_FALSE(policy.lastRunFailed());
}

}  // namespace
}  // namespace lumenfolio
