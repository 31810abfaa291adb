#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "TestSupport.h"
#include "Zentrel.h"

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char* const DOCUMENT =
    "<?xml version=\"1.0\"?>\n"
    "<!-- before the root -->\n"
    "<zentrel>\n"
    "  <!-- keep me -->\n"
    "  <module name=\"Settings\">\n"
    "    <submodule name=\"Flow\" mode=\"fast\">\n"
    "      <configitem name=\"Input\">in.pcap</configitem>\n"
    "      <configitem name=\"Spaced\">\n        indented value\n      </configitem>\n"
    "      <configitem name=\"Empty\"/>\n"
    "      <configitem name=\"Key\" anon=\"AnonCryptoPan\" key=\"secret\"/>\n"
    "    </submodule>\n"
    "  </module>\n"
    "  <module name=\"Twice\"><submodule name=\"First\"/></module>\n"
    "  <module name=\"Twice\"><submodule name=\"Second\"/></module>\n"
    "</zentrel>\n";

class ZentrelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.file("settings.xml");
        writeFile(path, DOCUMENT);
    }
    std::unique_ptr<Zentrel> open(bool autoCreate = false, bool saveOnClose = false) {
        return std::unique_ptr<Zentrel>(new Zentrel(path, autoCreate, true, saveOnClose));
    }
    TempDir dir;
    std::string path;
};

TEST_F(ZentrelTest, ReadsValuesByNameAndPathKeepingWhiteSpace) {
    auto doc = open();
    ASSERT_TRUE(doc->isOk()) << doc->getError();
    EXPECT_EQ(doc->getConfigValue("Settings", "Flow", "Input"), "in.pcap");
    EXPECT_TRUE(doc->isOk());
    EXPECT_EQ(doc->getConfigValue("Settings/Flow/Spaced"), "\n        indented value\n      ");
    EXPECT_EQ(doc->getConfigValue("Settings/Flow/Empty"), "");
    EXPECT_TRUE(doc->isOk());
    EXPECT_EQ(doc->getError(), "");
}

TEST_F(ZentrelTest, PathsIgnoreEmptyItemsAndReportWrongItemCounts) {
    auto doc = open();
    EXPECT_EQ(doc->getConfigValue("/Settings//Flow/Input/"), "in.pcap");
    EXPECT_TRUE(doc->isOk());

    EXPECT_EQ(doc->getConfigValue("/Settings//Flow/"), "");
    EXPECT_FALSE(doc->isOk());
    EXPECT_EQ(doc->getError(), "path Settings/Flow does not contain 3 items");

    EXPECT_FALSE(doc->existsSubmodule("Settings/Flow/Input"));
    EXPECT_EQ(doc->getError(), "path Settings/Flow/Input does not contain 2 items");
    EXPECT_TRUE(doc->getConfigAttributeMap("a/b").empty());
    EXPECT_EQ(doc->getError(), "path a/b does not contain 3 items");
}

TEST_F(ZentrelTest, LookupFailuresCarryTheirMessages) {
    auto doc = open();
    struct Case {
        std::function<void(Zentrel&)> call;
        std::string message;
    };
    std::vector<Case> cases = {
        {[](Zentrel& z) { z.getModule("Missing"); }, "module Missing not found"},
        {[](Zentrel& z) { z.getSubmodule("Missing", "Flow"); }, "invalid module: Missing"},
        {[](Zentrel& z) { z.getSubmodule("Settings", "Nope"); }, "submodule Nope not found"},
        {[](Zentrel& z) { z.getConfigItem("Settings", "Nope", "Input"); },
         "invalid submodule Nope in module Settings"},
        {[](Zentrel& z) { z.getConfigItem("Settings", "Flow", "Nope"); },
         "configelement Nope not found"},
        {[](Zentrel& z) { z.getConfigValue("Settings/Flow/Nope"); }, "invalid config element"},
        {[](Zentrel& z) { z.getConfigAttributeValue("Settings/Flow/Nope/key"); },
         "invalid config element"},
        {[](Zentrel& z) { z.getSubmoduleAttributeValue("Settings", "Nope", "mode"); },
         "invalid submodule"},
    };
    for (const Case& c : cases) {
        c.call(*doc);
        EXPECT_FALSE(doc->isOk()) << c.message;
        EXPECT_EQ(doc->getError(), c.message);
        doc->getConfigValue("Settings/Flow/Input");
        EXPECT_TRUE(doc->isOk()) << "a later success overwrites " << c.message;
    }
}

TEST_F(ZentrelTest, AttributesNamesAndDuplicates) {
    auto doc = open();
    Zentrel::AttributeMap attributes = doc->getConfigAttributeMap("Settings", "Flow", "Key");
    Zentrel::AttributeMap expected = {
        {"anon", "AnonCryptoPan"}, {"key", "secret"}, {"name", "Key"}};
    EXPECT_EQ(attributes, expected);
    EXPECT_TRUE(doc->existsConfigAttribute("Settings/Flow/Key/key"));
    EXPECT_FALSE(doc->existsConfigAttribute("Settings/Flow/Key/anonval"));
    EXPECT_EQ(doc->getConfigAttributeValue("Settings/Flow/Key/anonval"), "");
    EXPECT_TRUE(doc->isOk());
    EXPECT_EQ(doc->getSubmoduleAttributeValue("Settings", "Flow", "mode"), "fast");
    EXPECT_TRUE(doc->getConfigAttributeMap("Settings", "Flow", "Nope").empty());

    EXPECT_EQ(doc->getModuleNames(), (Zentrel::StringList{"Settings", "Twice", "Twice"}));
    EXPECT_EQ(doc->getConfigItemNames("Settings/Flow"),
              (Zentrel::StringList{"Input", "Spaced", "Empty", "Key"}));
    // Only the first of two equally named modules is ever found.
    EXPECT_EQ(doc->getSubmoduleNames("Twice"), (Zentrel::StringList{"First"}));
    EXPECT_FALSE(doc->existsSubmodule("Twice", "Second"));
}

TEST(ZentrelLoad, FailuresOfLoading) {
    TempDir dir;
    struct Case {
        std::string content;  // empty: the file does not exist
        std::string message;
    };
    std::string path = dir.file("s.xml");
    std::vector<Case> cases = {
        {"", "file " + path + " does not exist"},
        {"<zentrel><module>", "failed parsing file " + path},
        {"<other/>", "invalid root item in file " + path},
    };
    for (const Case& c : cases) {
        std::remove(path.c_str());
        if (!c.content.empty())
            writeFile(path, c.content);
        Zentrel doc(path, false, true, true);
        EXPECT_FALSE(doc.isOk());
        EXPECT_EQ(doc.getError(), c.message);
    }
    // A failed document is never written back.
    EXPECT_EQ(readFile(path), "<other/>");
}

TEST(ZentrelLoad, MissingFileIsCreatedWhenItNeedNotExist) {
    TempDir dir;
    std::string path = dir.file("new.xml");
    {
        Zentrel doc(path, false, false, false);
        EXPECT_TRUE(doc.isOk()) << doc.getError();
        EXPECT_TRUE(doc.getModuleNames().empty());
    }
    std::string content = readFile(path);
    EXPECT_NE(content.find("<zentrel/>"), std::string::npos) << content;
}

TEST(ZentrelLoad, EntityExpansionIsBounded) {
    TempDir dir;
    std::string path = dir.file("laughs.xml");
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE zentrel [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 12; ++i) {
        xml += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            xml += "&l" + std::to_string(i - 1) + ";";
        xml += "\">\n";
    }
    xml += "]>\n<zentrel><module name=\"m\">&l12;</module></zentrel>\n";
    writeFile(path, xml);
    Zentrel doc(path, false, true, false);
    EXPECT_FALSE(doc.isOk());
    EXPECT_EQ(doc.getError(), "failed parsing file " + path);
}

TEST(ZentrelLoad, ExternalEntitiesAreNotFetched) {
    TempDir dir;
    std::string secret = dir.file("secret.txt");
    writeFile(secret, "do not read");
    std::string path = dir.file("ext.xml");
    writeFile(path, "<!DOCTYPE zentrel [<!ENTITY x SYSTEM \"file://" + secret +
                        "\">]>\n<zentrel><module name=\"&x;\"/></zentrel>");
    Zentrel doc(path, false, true, false);
    EXPECT_FALSE(doc.isOk());
    EXPECT_EQ(doc.getError(), "failed parsing file " + path);
}

TEST_F(ZentrelTest, WriteBackPrettyPrintsTheRootAndIsStable) {
    {
        auto doc = open(false, true);
        ASSERT_TRUE(doc->isOk());
    }
    std::string first = readFile(path);
    EXPECT_EQ(first.find("<?xml"), std::string::npos) << "the declaration is outside the root";
    EXPECT_EQ(first.find("before the root"), std::string::npos);
    EXPECT_NE(first.find("<!-- keep me -->"), std::string::npos);
    EXPECT_NE(
        first.find("\n  <module name=\"Settings\">\n    <submodule mode=\"fast\" name=\"Flow\">\n"),
        std::string::npos)
        << first;
    EXPECT_NE(first.find(">\n        indented value\n      </configitem>"), std::string::npos);
    {
        auto doc = open(false, true);
        EXPECT_EQ(doc->getConfigValue("Settings/Flow/Input"), "in.pcap");
    }
    EXPECT_EQ(readFile(path), first) << "a second write-back changes nothing";
}

TEST_F(ZentrelTest, WriteBackKeepsPermissionsAndLeavesNoTemporaryFiles) {
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    { auto doc = open(false, true); }
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    auto listing = testsupport::runShell("ls -A '" + dir.path() + "'");
    EXPECT_EQ(listing.out, "settings.xml\n");
}

TEST_F(ZentrelTest, EditingCreatesChangesAndDeletes) {
    auto doc = open();
    doc->setConfigValue("New", "Sub", "Item", "x");
    EXPECT_FALSE(doc->isOk());
    EXPECT_EQ(doc->getError(), "invalid submodule Sub in module New");

    doc->createModule("New");
    doc->createSubmodule("New/Sub");
    doc->createConfigItem("New/Sub/Item");
    doc->setConfigValue("New/Sub/Item", "value");
    doc->setConfigAttributeValue("New/Sub/Item/anon", "AnonIdentity");
    doc->createConfigAttribute("New/Sub/Item/extra");
    EXPECT_TRUE(doc->isOk()) << doc->getError();
    EXPECT_EQ(doc->getConfigValue("New/Sub/Item"), "value");
    EXPECT_EQ(doc->getConfigAttributeMap("New/Sub/Item"),
              (Zentrel::AttributeMap{{"anon", "AnonIdentity"}, {"extra", ""}, {"name", "Item"}}));

    doc->setConfigValue("Settings/Flow/Missing", "v");
    EXPECT_EQ(doc->getError(), "configelement Missing not found");

    doc->deleteConfigAttribute("New/Sub/Item/extra");
    EXPECT_FALSE(doc->existsConfigAttribute("New/Sub/Item/extra"));
    doc->deleteConfigItem("New/Sub/Item");
    EXPECT_FALSE(doc->existsConfigItem("New/Sub/Item"));
    doc->deleteSubmodule("New/Sub");
    EXPECT_FALSE(doc->existsSubmodule("New", "Sub"));

    // A module deleted and made again goes after the remaining ones.
    doc->deleteModule("Settings");
    doc->createModule("Settings");
    EXPECT_EQ(doc->getModuleNames(), (Zentrel::StringList{"Twice", "Twice", "New", "Settings"}));
}

TEST(ZentrelEditing, AutoCreateBuildsTheWholePathInOneCall) {
    TempDir dir;
    std::string path = dir.file("auto.xml");
    writeFile(path, "<zentrel/>");
    {
        Zentrel doc(path, true, true, true);
        doc.setConfigValue("Settings/Flow/Input", "made.pcap");
        EXPECT_TRUE(doc.isOk()) << doc.getError();
        EXPECT_EQ(doc.getConfigValue("Settings/Flow/Input"), "made.pcap");
        // Probes never create anything.
        EXPECT_FALSE(doc.existsModule("Other"));
        EXPECT_EQ(doc.getModuleNames(), (Zentrel::StringList{"Settings"}));
    }
    Zentrel reread(path, false, true, false);
    EXPECT_EQ(reread.getConfigValue("Settings/Flow/Input"), "made.pcap");
}

TEST_F(ZentrelTest, DeleteAllModulesKeepsComments) {
    auto doc = open(false, true);
    doc->deleteAllModules();
    EXPECT_TRUE(doc->isOk());
    EXPECT_TRUE(doc->getModuleNames().empty());
    doc.reset();
    EXPECT_EQ(readFile(path), "\n<zentrel><!-- keep me --></zentrel>");
}

}  // namespace
