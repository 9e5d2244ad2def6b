#include "SettingsManager.hpp"

#include "GSPrefHost.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace {
class SettingsManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GSPref::SetStoreFile("");
        settings.SetDomain("Kordela");
    }
    void TearDown() override { GSPref::SetFailing(false); }
    SettingsManager& settings = SettingsManager::GetInstance();
};
}  // namespace

TEST_F(SettingsManagerTest, MissingKeyGivesTheDefaultAndIsStoredOnlyWhenAskedTo)
{
    EXPECT_STREQ(settings.GetStringValue("Missing", "fallback", false).get(), "fallback");
    EXPECT_FALSE(settings.IsExisting("Missing"));
    EXPECT_STREQ(settings.GetStringValue("Missing", "fallback", true).get(), "fallback");
    EXPECT_TRUE(settings.IsExisting("Missing"));
    EXPECT_EQ(GSPref::PeekValue("Kordela", "Missing"), "fallback");
}

TEST_F(SettingsManagerTest, StoredEmptyTextIsNotReplacedByTheDefault)
{
    settings.SetStringValue("Empty", "");
    EXPECT_STREQ(settings.GetStringValue("Empty", "default", true).get(), "");
}

TEST_F(SettingsManagerTest, NonAsciiValueComesBackWhole)
{
    const char* value = "/Users/Zoë/Documents/Bibliothèque 🏠/KordelaLibrary";
    settings.SetStringValue("Folder", value);
    EXPECT_STREQ(settings.GetStringValue("Folder", "", false).get(), value);
}

TEST_F(SettingsManagerTest, RemovedKeyNoLongerExists)
{
    settings.SetStringValue("", "key under the empty name");
    EXPECT_TRUE(settings.IsExisting(""));
    settings.RemoveParam("");
    EXPECT_FALSE(settings.IsExisting(""));
}

TEST_F(SettingsManagerTest, IntegersAreStoredAsDecimalText)
{
    settings.SetIntValue("Count", -42);
    EXPECT_EQ(GSPref::PeekValue("Kordela", "Count"), "-42");
    EXPECT_EQ(settings.GetIntValue("Count", 7, false), -42);
    EXPECT_EQ(settings.GetIntValue("Other", 7, true), 7);
    EXPECT_EQ(GSPref::PeekValue("Kordela", "Other"), "7");
}

TEST_F(SettingsManagerTest, BrokenStoreFallsBackToTheDefaultWithoutThrowing)
{
    settings.SetStringValue("Key", "stored");
    GSPref::SetFailing(true);
    EXPECT_STREQ(settings.GetStringValue("Key", "default", true).get(), "default");
    EXPECT_FALSE(settings.IsExisting("Key"));
    EXPECT_NO_THROW(settings.SetStringValue("Key", "other"));
    EXPECT_NO_THROW(settings.RemoveParam("Key"));
    GSPref::SetFailing(false);
    EXPECT_STREQ(settings.GetStringValue("Key", "default", false).get(), "stored");
}

TEST_F(SettingsManagerTest, DomainIsCopiedNotReferenced)
{
    char domain[] = "Kordela";
    settings.SetDomain(domain);
    std::strcpy(domain, "Other!!");
    settings.SetStringValue("Key", "value");
    EXPECT_EQ(GSPref::PeekValue("Kordela", "Key"), "value");
}
