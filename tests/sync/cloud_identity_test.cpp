#include "sync/cloud_identity.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_photo_platform.hpp"

namespace lumenfolio {
namespace {

std::vector<int> numbers(int count) {
  std::vector<int> list(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) list[static_cast<std::size_t>(i)] = i;
  return list;
}

std::vector<std::size_t> sizes(const std::vector<std::vector<int>>& chunks) {
  std::vector<std::size_t> result;
  for (const auto& chunk : chunks) result.push_back(chunk.size());
  return result;
}

TEST(Chunked, emptyListGivesNoChunks) {
  EXPECT_TRUE(chunked(std::vector<int>{}, 3).empty());
  EXPECT_TRUE(chunked(std::vector<int>{}, 0).empty());
}

TEST(Chunked, sizeOfZeroOrLessGivesTheWholeListAsOneChunk) {
  EXPECT_EQ(chunked(numbers(5), 0), std::vector<std::vector<int>>{numbers(5)});
  EXPECT_EQ(chunked(numbers(5), -2), std::vector<std::vector<int>>{numbers(5)});
}

TEST(Chunked, sizeAtLeastTheCountGivesOneChunk) {
  EXPECT_EQ(chunked(numbers(5), 5), std::vector<std::vector<int>>{numbers(5)});
  EXPECT_EQ(chunked(numbers(5), 9), std::vector<std::vector<int>>{numbers(5)});
}

TEST(Chunked, cutsIntoConsecutiveChunksWithTheRemainderLast) {
  EXPECT_EQ(chunked(numbers(7), 3), (std::vector<std::vector<int>>{{0, 1, 2}, {3, 4, 5}, {6}}));
  EXPECT_EQ(sizes(chunked(numbers(6), 3)), (std::vector<std::size_t>{3, 3}));
  EXPECT_EQ(sizes(chunked(numbers(5001), 2500)), (std::vector<std::size_t>{2500, 2500, 1}));
}

class CloudIdentityTest : public ::testing::Test {
 protected:
  // Local identifiers "L<i>/L0/001" that the platform maps to "cloud-<i>".
  std::vector<std::string> mappedIdentifiers(int count) {
    std::vector<std::string> identifiers;
    for (int i = 0; i < count; ++i) {
      identifiers.push_back("L" + std::to_string(i) + "/L0/001");
      platform_.cloudIDs[identifiers.back()] = "cloud-" + std::to_string(i);
    }
    return identifiers;
  }

  testing::FakePhotoPlatform platform_;
};

TEST_F(CloudIdentityTest, emptyListMakesNoRequest) {
  EXPECT_TRUE(CloudIdentity::cloudIDs({}, platform_).empty());
  EXPECT_TRUE(platform_.requestSizes.empty());
}

TEST_F(CloudIdentityTest, twentyFiveHundredIdentifiersGoInOneRequest) {
  const auto identifiers = mappedIdentifiers(2500);

  const auto cloudIDs = CloudIdentity::cloudIDs(identifiers, platform_);

  EXPECT_EQ(platform_.requestSizes, std::vector<std::size_t>{2500});
  EXPECT_EQ(cloudIDs.size(), 2500u);
  EXPECT_EQ(cloudIDs.at("L2499/L0/001"), "cloud-2499");
}

TEST_F(CloudIdentityTest, oneMoreIdentifierTakesASecondRequest) {
  const auto identifiers = mappedIdentifiers(2501);

  const auto cloudIDs = CloudIdentity::cloudIDs(identifiers, platform_);

  EXPECT_EQ(platform_.requestSizes, (std::vector<std::size_t>{2500, 1}));
  EXPECT_EQ(cloudIDs.size(), 2501u);
  EXPECT_EQ(cloudIDs.at("L2500/L0/001"), "cloud-2500");
}

TEST_F(CloudIdentityTest, failedMappingLeavesTheOthersOfItsChunkMapped) {
  auto identifiers = mappedIdentifiers(3);
  platform_.cloudIDs.erase("L1/L0/001");

  const auto cloudIDs = CloudIdentity::cloudIDs(identifiers, platform_);

  EXPECT_EQ(cloudIDs.size(), 2u);
  EXPECT_EQ(cloudIDs.count("L1/L0/001"), 0u);
  EXPECT_EQ(cloudIDs.at("L0/L0/001"), "cloud-0");
  EXPECT_EQ(cloudIDs.at("L2/L0/001"), "cloud-2");
}

TEST_F(CloudIdentityTest, sameIdentifierTwiceGivesOneEntry) {
  auto identifiers = mappedIdentifiers(1);
  identifiers.push_back(identifiers.front());

  const auto cloudIDs = CloudIdentity::cloudIDs(identifiers, platform_);

  EXPECT_EQ(cloudIDs.size(), 1u);
  EXPECT_EQ(cloudIDs.at("L0/L0/001"), "cloud-0");
}

TEST_F(CloudIdentityTest, mapHasRoomForEveryIdentifierAsked) {
  auto identifiers = mappedIdentifiers(2);
  for (int i = 0; i < 3000; ++i) identifiers.push_back("unmapped-" + std::to_string(i));

  const auto cloudIDs = CloudIdentity::cloudIDs(identifiers, platform_);

  EXPECT_EQ(cloudIDs.size(), 2u);
  EXPECT_GE(static_cast<double>(cloudIDs.bucket_count()) * cloudIDs.max_load_factor(),
            static_cast<double>(identifiers.size()));
}

TEST_F(CloudIdentityTest, inOrderGivesEachIdentifierItsPlaceAcrossRequests) {
  auto identifiers = mappedIdentifiers(2502);
  platform_.cloudIDs.erase("L1/L0/001");
  platform_.cloudIDs.erase("L2501/L0/001");
  identifiers.push_back(identifiers.front());

  const auto cloudIDs = CloudIdentity::cloudIDsInOrder(identifiers, platform_);

  EXPECT_EQ(platform_.requestSizes, (std::vector<std::size_t>{2500, 3}));
  ASSERT_EQ(cloudIDs.size(), identifiers.size());
  EXPECT_EQ(cloudIDs[0], "cloud-0");
  EXPECT_EQ(cloudIDs[1], std::nullopt);
  EXPECT_EQ(cloudIDs[2500], "cloud-2500");
  EXPECT_EQ(cloudIDs[2501], std::nullopt);
  EXPECT_EQ(cloudIDs[2502], "cloud-0");
}

TEST_F(CloudIdentityTest, inOrderTakesAnswersGivenInAnyOrder) {
  const auto identifiers = mappedIdentifiers(3);
  platform_.answersReversed = true;

  const auto cloudIDs = CloudIdentity::cloudIDsInOrder(identifiers, platform_);

  EXPECT_EQ(cloudIDs, (std::vector<std::optional<std::string>>{"cloud-0", "cloud-1", "cloud-2"}));
}

}  // namespace
}  // namespace lumenfolio
