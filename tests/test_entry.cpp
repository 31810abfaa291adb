// Process tests of the program entry: banner, argument check and the
// configuration errors that end the process before any trace is touched.

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace testsupport;

namespace {

TEST(Entry, WrongArgumentCountPrintsUsage) {
    TempDir dir;
    std::string settings = dir.file("settings.xml");
    std::string content = settingsXml(Settings());
    writeFile(settings, content);
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {settings, settings}}) {
        ProcessResult result = runVeilcap(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, banner() + "Invalid parameters\nUsage: veilcap settings.xml\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(readFile(settings), content) << "the settings file is untouched";
}

TEST(Entry, UnusableSettingsFilesEndWithStatusTwo) {
    TempDir dir;
    struct Case {
        std::string name;
        std::string content;  // empty: no file
        std::string message;
    };
    Settings contradicting;
    contradicting.setBadChecksumsToBad = "1";
    contradicting.reCalculateChecksums = "0";
    const Case cases[] = {
        {"missing.xml", "", "file missing.xml does not exist"},
        {"broken.xml", "<zentrel><module name=\"x\">", "failed parsing file broken.xml"},
        {"root.xml", "<settings/>", "invalid root item in file root.xml"},
        {"switches.xml", settingsXml(contradicting),
         "Settings/Checksumming/SetBadChecksumsToBad is set to 1 but "
         "Settings/Checksumming/ReCalculateChecksums is set to 0"},
    };
    for (const Case& c : cases) {
        if (!c.content.empty())
            writeFile(dir.file(c.name), c.content);
        ProcessResult result = runVeilcap({c.name}, "", dir.path());
        EXPECT_EQ(result.status, 2) << c.name;
        EXPECT_EQ(result.err, banner() + "configuration error: " + c.message + "\n");
        if (c.content.empty()) {
            EXPECT_FALSE(fileExists(dir.file(c.name))) << "no settings file is created";
        } else {
            EXPECT_EQ(readFile(dir.file(c.name)), c.content) << c.name << " is not written back";
        }
    }
}

TEST(Entry, BillionLaughsFailsCleanly) {
    TempDir dir;
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE zentrel [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 12; ++i) {
        xml += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            xml += "&l" + std::to_string(i - 1) + ";";
        xml += "\">\n";
    }
    xml += "]>\n<zentrel><module name=\"Settings\">&l12;</module></zentrel>\n";
    writeFile(dir.file("laughs.xml"), xml);
    // Memory is capped well below what the expansion would need (10^12
    // bytes). AddressSanitizer reserves far more address space than that
    // for itself, so its builds run without the cap.
#ifdef __SANITIZE_ADDRESS__
    const std::string cap;
#else
    const std::string cap = "ulimit -v 1000000; ";
#endif
    ProcessResult result =
        runShell(cap + "cd '" + dir.path() + "' && '" + VEILCAP_BINARY + "' laughs.xml");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, banner() + "configuration error: failed parsing file laughs.xml\n");
}

TEST(Entry, FailedWriteBackLeavesTheSettingsFileAlone) {
    TempDir dir;
    std::string content = settingsXml(Settings());
    writeFile(dir.file("settings.xml"), content);
    ASSERT_GT(content.size(), 512u);
    // Files may not grow beyond 512 bytes, so the rewritten document cannot
    // be stored; the process ignores the signal and sees the write fail.
    ProcessResult result = runShell("cd '" + dir.path() + "' && trap '' XFSZ && ulimit -f 1 && '" +
                                    VEILCAP_BINARY + "' settings.xml");
    EXPECT_EQ(readFile(dir.file("settings.xml")), content);
    EXPECT_EQ(runShell("ls -A '" + dir.path() + "' | grep -c '^settings.xml.'").out, "0\n")
        << "the temporary file is removed";
}

}  // namespace
