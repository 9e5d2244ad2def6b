// The add-on's entry points, menu command and project events, through the real module.
#include "AddOnHarness.hpp"

#include <dlfcn.h>

#include <cstdio>

namespace {
std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}
// The real module, loaded as the host loads it.
class AddOnShell : public AddOnHarness {};
}  // namespace

TEST_F(AddOnShell, ModuleReportsItsHostVersionAndRegistersItsMenu)
{
    LoadAndStart();
    const int version = KORDELA_HOST_VERSION;
    EXPECT_TRUE(host->TranscriptContains("version word " + Hex((static_cast<uint32_t>(version) << 16) | 1u) +
                                         ", build " + std::to_string(version * 1000)));
    EXPECT_TRUE(host->TranscriptContains("add-on \"Kordela\""));
    EXPECT_TRUE(host->TranscriptContains("add-on type 2"));
    EXPECT_EQ(host->MenuDescription(), "32500 \"Kordela\" [Kordela Palette]");
    EXPECT_TRUE(host->TranscriptContains("prompts 32520, position 12, flags 0"));
}

TEST_F(AddOnShell, InitializeCreatesTheSettingsWithTheirDefaultsAndTheHelpLocation)
{
    LoadAndStart();
    EXPECT_EQ(Setting("FirstRun"), "1");
    EXPECT_EQ(Setting("DefaultDownloadFolder"), host->ProfileFolder() + "/Documents/KordelaLibrary");
    EXPECT_EQ(Setting("AddToEmbedded"), "1");
    ASSERT_EQ(DGHost::HelpLocations().size(), 1u);
    EXPECT_EQ(DGHost::HelpLocations()[0], "(1, 1) " + host->ProfileFolder() + "/Help");
    EXPECT_FALSE(Palette());
}

TEST_F(AddOnShell, InitializeKeepsSettingsThatExist)
{
    StoreSetting("DefaultDownloadFolder", "/somewhere/else");
    StoreSetting("AddToEmbedded", "0");
    LoadAndStart();
    EXPECT_EQ(Setting("DefaultDownloadFolder"), "/somewhere/else");
    EXPECT_EQ(Setting("AddToEmbedded"), "0");
}

TEST_F(AddOnShell, StoredFirstRunDecidesWhetherTheLibraryEventOpensThePalette)
{
    struct Case {
        const char* stored;
        bool opens;
    };
    for (const Case& c : {Case {"1", true}, Case {"2", true}, Case {"0", false}, Case {"abc", false}, Case {"", false},
                          Case {"3", false}}) {
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        StoreSetting("FirstRun", c.stored);
        LoadAndStart();
        host->SendProjectEvent(APINotify_ChangeLibrary);
        EXPECT_EQ(PaletteVisible(), c.opens) << "FirstRun \"" << c.stored << "\"";
        host.reset();
    }
}

// The first opening uses up the first-run state however its start-up checks end: later
// library events do not reopen the palette, and a later palette gets no first-run size.
TEST_F(AddOnShell, FirstOpeningGetsTheOneRowSizeAndLaterEventsDoNotReopen)
{
    struct Case {
        const char* what;
        bool checksFail;  // an icon the host refuses: the checks dispose the palette
    };
    for (const Case& c : {Case {"checks complete", false}, Case {"checks fail", true}}) {
        SCOPED_TRACE(c.what);
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        LoadAndStart();
        if (c.checksFail)
            DGHost::FailNextIconChange();
        host->SendProjectEvent(APINotify_ChangeLibrary);
        EXPECT_EQ(Setting("FirstRun"), "2");
        if (c.checksFail) {
            EXPECT_FALSE(Palette());
        } else {
            EXPECT_EQ(PaletteSize(), "439x42");
            EXPECT_EQ(CountLines("palette 32600 size 100x42"), 1u);
        }

        host->SendProjectEvent(APINotify_NewAndReset);
        EXPECT_FALSE(Palette());
        host->SendProjectEvent(APINotify_ChangeLibrary);  // the auto-open state was used up
        EXPECT_FALSE(Palette());
        host->SendMenuCommand(32500);
        EXPECT_TRUE(PaletteVisible());
        EXPECT_EQ(CountLines("palette 32600 size 100x42"), c.checksFail ? 0u : 1u);
        host.reset();
    }
}

TEST_F(AddOnShell, PaletteLeftOpenReopensAfterAResetWithoutTheFirstRunSize)
{
    StoreSetting("FirstRun", "2");
    LoadAndStart();
    host->SendProjectEvent(APINotify_ChangeLibrary);
    ASSERT_TRUE(PaletteVisible());
    host->SendProjectEvent(APINotify_NewAndReset);
    EXPECT_FALSE(Palette());
    EXPECT_EQ(Setting("FirstRun"), "2");
    host->SendProjectEvent(APINotify_ChangeLibrary);
    EXPECT_TRUE(PaletteVisible());
    EXPECT_FALSE(host->TranscriptContains("size 100x42"));
}

TEST_F(AddOnShell, MenuCommandCreatesThenTogglesThePalette)
{
    LoadAndStart();
    ASSERT_EQ(host->SendMenuCommand(32500), "");
    EXPECT_TRUE(PaletteVisible());
    EXPECT_EQ(Setting("FirstRun"), "2");  // written by the end of the start-up checks

    host->SendMenuCommand(32500);
    EXPECT_TRUE(Palette());
    EXPECT_FALSE(PaletteVisible());
    EXPECT_EQ(Setting("FirstRun"), "0");

    host->SendMenuCommand(32500);
    EXPECT_TRUE(PaletteVisible());
    EXPECT_EQ(Setting("FirstRun"), "2");
    EXPECT_EQ(CountLines("palette 32600 opened"), 1u);  // the same palette throughout
    EXPECT_EQ(CountLines("dialog 32604 opened"), 1u);   // start-up checks at the first opening only
}

TEST_F(AddOnShell, CloseBoxOnlyHidesAndTheMenuShowsTheSamePaletteAgain)
{
    LoadAndStart();
    host->SendMenuCommand(32500);
    ASSERT_EQ(DGHost::CloseBox(PaletteId), "");
    EXPECT_TRUE(Palette());
    EXPECT_FALSE(PaletteVisible());
    EXPECT_EQ(Setting("FirstRun"), "0");
    host->SendMenuCommand(32500);
    EXPECT_TRUE(PaletteVisible());
    EXPECT_EQ(CountLines("palette 32600 opened"), 1u);
}

TEST_F(AddOnShell, NewProjectShowsAHiddenPalette)
{
    LoadAndStart();
    host->SendMenuCommand(32500);
    DGHost::CloseBox(PaletteId);
    host->SendProjectEvent(APINotify_New);
    EXPECT_TRUE(PaletteVisible());
}

TEST_F(AddOnShell, QuitDisposesEvenAHiddenPaletteAndFreeDataFindsNone)
{
    LoadAndStart();
    host->SendMenuCommand(32500);
    host->SendMenuCommand(32500);  // hidden
    host->Quit();
    EXPECT_FALSE(Palette());
    EXPECT_EQ(Setting("FirstRun"), "0");  // a disposal by the host leaves it as it was
    EXPECT_TRUE(host->TranscriptContains("project events 0x00000042 released"));
    EXPECT_TRUE(host->TranscriptContains("modeless window 32600 unregistered"));
    EXPECT_TRUE(DGHost::HelpLocations().empty());
}

TEST_F(AddOnShell, FreeDataOnlyHidesAPaletteTheHostDidNotClose)
{
    LoadAndStart();
    host->SendMenuCommand(32500);
    API_AddOnExports exports;
    auto* getExports = reinterpret_cast<GetExportedFuncAddrsProc*>(
        ::dlsym(::dlopen(KORDELA_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD), "GetExportedFuncAddrs"));
    ASSERT_NE(getExports, nullptr);
    getExports(&exports);
    EXPECT_EQ(exports.freeData(), NoError);
    EXPECT_TRUE(Palette());
    EXPECT_FALSE(PaletteVisible());
    EXPECT_EQ(Setting("FirstRun"), "0");
}

TEST_F(AddOnShell, WithoutAMenuHandlerNoEventHandlerIsInstalledButSettingsExist)
{
    host->Table().InstallMenuHandler = nullptr;
    ASSERT_EQ(host->Load(KORDELA_MODULE_PATH), "");
    EXPECT_EQ(static_cast<uint32_t>(host->Start()), 0x81060387u);
    EXPECT_FALSE(host->TranscriptContains("caught"));
    EXPECT_EQ(Setting("FirstRun"), "1");
    EXPECT_EQ(Setting("AddToEmbedded"), "1");
}

TEST_F(AddOnShell, OlderHostWithAShorterTableAnswersMissingFunction)
{
    host->TableSize() = offsetof(API_HostTable, WriteReport);
    ASSERT_EQ(host->Load(KORDELA_MODULE_PATH), "");
    host->Start();
    // Without its resource module the palette cannot be built, and the report cannot reach
    // the host either; nothing breaks.
    host->SendMenuCommand(32500);
    EXPECT_FALSE(Palette());
    EXPECT_TRUE(host->Reports().empty());
}

TEST(AddOnGlue, EntryPointsBeforeTheTableIsSetAnswerGeneralError)
{
    void* module = ::dlopen(KORDELA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto* getExports = reinterpret_cast<GetExportedFuncAddrsProc*>(::dlsym(module, "GetExportedFuncAddrs"));
    ASSERT_NE(getExports, nullptr);
    // A host of an earlier test in this program leaves the module mapped with its table set:
    // the table is taken back first, as before a host hands its own.
    auto* setImports = reinterpret_cast<SetImportedFuncAddrsProc*>(::dlsym(module, "SetImportedFuncAddrs"));
    ASSERT_NE(setImports, nullptr);
    setImports(nullptr, 0);
    API_AddOnExports exports;
    ASSERT_EQ(getExports(&exports), NoError);
    EXPECT_EQ(static_cast<uint32_t>(exports.initialize()), 0x81060001u);
    EXPECT_EQ(static_cast<uint32_t>(exports.registerInterface()), 0x81060001u);
    EXPECT_EQ(static_cast<uint32_t>(exports.freeData()), 0x81060001u);
    // Nothing but the two glue functions is exported.
    EXPECT_EQ(::dlsym(module, "Initialize"), nullptr);
    EXPECT_EQ(::dlsym(module, "_Z10Initializev"), nullptr);
    EXPECT_EQ(::dlsym(module, "mainPalette"), nullptr);
}
