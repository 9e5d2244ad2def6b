// The frameworks stand-in's behaviour that the add-on relies on.
#include "BM.hpp"
#include "CH.hpp"
#include "GS.hpp"
#include "GSPrefHost.hpp"
#include "IO.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>

TEST(Frameworks, UniStringRoundTripsUtf8ThroughUtf16)
{
    for (const char* text : {"", "plain", "Zoë", "日本語", "🏠 house"}) {
        const GS::UniString s(text);
        EXPECT_EQ(s.ToUTF8(), text);
    }
    EXPECT_EQ(GS::UniString("🏠").GetLength(), 2u);  // a surrogate pair
}

TEST(Frameworks, HashTableIteratesInInsertionOrderAndKeepsTheFirstAdd)
{
    GS::HashTable<GS::UniString, int> table;
    EXPECT_TRUE(table.Add("b", 1));
    EXPECT_TRUE(table.Add("a", 2));
    EXPECT_FALSE(table.Add("b", 3));
    EXPECT_TRUE(table.Add("c", 4));
    EXPECT_TRUE(table.Delete("a"));
    std::vector<std::string> keys;
    for (const auto& [key, value] : table)
        keys.push_back(key.ToUTF8());
    EXPECT_EQ(keys, (std::vector<std::string> {"b", "c"}));
    EXPECT_EQ(table.Get("b"), 1);
    EXPECT_EQ(table.Get("c"), 4);
}

TEST(Frameworks, GuidParsesWithOrWithoutBracesAndRejectsMalformedText)
{
    const GS::Guid braced("{A29B9774-AD73-4BFD-A120-0D0C30E46051}");
    const GS::Guid bare("a29b9774-ad73-4bfd-a120-0d0c30e46051");
    EXPECT_EQ(braced, bare);
    EXPECT_EQ(braced.ToUniString().ToUTF8(), "A29B9774-AD73-4BFD-A120-0D0C30E46051");
    EXPECT_TRUE(GS::Guid("A29B9774-AD73-4BFD-A120-0D0C30E4605").IsNull());
    EXPECT_TRUE(GS::Guid("A29B9774_AD73-4BFD-A120-0D0C30E46051").IsNull());
    EXPECT_FALSE(GS::Guid::Generate() == GS::Guid::Generate());
}

TEST(Frameworks, CaseTypeDecidesTextEquality)
{
    EXPECT_TRUE(CHEqualCStrings("KD_prodatUrl", "KD_prodaturl"));
    EXPECT_FALSE(CHEqualCStrings("KD_prodatUrl", "KD_prodaturl", CaseSensitive));
    EXPECT_FALSE(CHEqualCStrings("KD_edinum", "KD_edinum2"));
    EXPECT_EQ(CHCompareTexts("KDPC_Title", "kdpc_", 5), 0);
}

TEST(Frameworks, TruncateNeverSplitsACharacterNorOverrunsTheTarget)
{
    char target[6];
    std::memset(target, 'x', sizeof target);
    EXPECT_EQ(CHTruncate("abcdefgh", target, sizeof target), 5u);
    EXPECT_STREQ(target, "abcde");
    EXPECT_EQ(CHTruncate("abcdé", target, sizeof target), 4u);  // é takes two bytes
    EXPECT_STREQ(target, "abcd");
    EXPECT_EQ(CHTruncate("abc", target, 0), 0u);
}

TEST(Frameworks, HandleGrowsZeroFilledAndIsReleased)
{
    GSHandle handle = BMhAllClear(4);
    ASSERT_NE(handle, nullptr);
    (*handle)[0] = 'a';
    ASSERT_EQ(BMhSetSize(handle, 8), NoError);
    EXPECT_EQ(BMhGetSize(handle), 8u);
    EXPECT_EQ((*handle)[0], 'a');
    EXPECT_EQ((*handle)[7], 0);
    BMhKill(&handle);
    EXPECT_EQ(handle, nullptr);
}

TEST(Frameworks, LocationEditsItsLastComponent)
{
    IO::Location location("/a/b/c/");
    EXPECT_EQ(location.ToUTF8POSIXPath(), "/a/b/c");
    EXPECT_EQ(location.DeleteLastLocalName(), NoError);
    EXPECT_EQ(location.ToUTF8POSIXPath(), "/a/b");
    EXPECT_EQ(location.AppendToLocal(IO::Name("KordelaLibrary")), NoError);
    EXPECT_EQ(location, IO::Location("/a/b/KordelaLibrary"));
    EXPECT_NE(location.AppendToLocal(IO::Name("x/y")), NoError);
}

TEST(Frameworks, FileSystemReportsExistingFoldersAndNeverOverwritesOnCopy)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("kordela-fs-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const IO::Location folder((root / "f").string());
    EXPECT_EQ(IO::fileSystem.CreateFolder(folder), NoError);
    EXPECT_EQ(IO::fileSystem.CreateFolder(folder), ErrCode::FolderExists);
    std::ofstream((root / "a.gsm").string()) << "one";
    std::ofstream((root / "f" / "a.gsm").string()) << "two";
    EXPECT_EQ(
        IO::fileSystem.Copy(IO::Location((root / "a.gsm").string()), IO::Location((root / "f" / "a.gsm").string())),
        ErrCode::TargetExists);
    std::ifstream in((root / "f" / "a.gsm").string());
    std::string content;
    in >> content;
    EXPECT_EQ(content, "two");
    EXPECT_EQ(IO::Folder(IO::Location((root / "new").string()), IO::Folder::Create).GetStatus(), NoError);
    EXPECT_NE(IO::Folder(IO::Location((root / "absent").string())).GetStatus(), NoError);
    fs::remove_all(root);
}

TEST(Frameworks, PreferenceStoreSurvivesARestart)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("kordela-prefs-" + std::to_string(::getpid()) + ".json");
    GSPref::SetStoreFile(file.string());
    GSPref::RootKey* key = nullptr;
    ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &key), NoError);
    key->SetStringValue("Kordela", "FirstRun", "2");
    GSPref::SetStoreFile("");
    EXPECT_FALSE(GSPref::HasValue("Kordela", "FirstRun"));
    GSPref::SetStoreFile(file.string());
    EXPECT_EQ(GSPref::PeekValue("Kordela", "FirstRun"), "2");
    GSPref::SetStoreFile("");
    fs::remove(file);
}
