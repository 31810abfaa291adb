// Golden output: the anonymized sample trace must not change by a single
// byte. The digests were recorded before any performance work; an
// optimisation that alters them changed the program's behaviour.
//
// If a change of output is intended (a behaviour fix), record the new
// digests with `sha256sum` on the outputs and say why in the commit.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

using namespace testsupport;

namespace {

// Replaces the text of the configitem `name` with `value`.
std::string setItem(std::string xml, const std::string& name, const std::string& value) {
    const std::string open = "<configitem name=\"" + name + "\">";
    size_t start = xml.find(open);
    EXPECT_NE(start, std::string::npos) << name;
    if (start == std::string::npos) {
        return xml;
    }
    start += open.size();
    size_t end = xml.find('<', start);
    return xml.replace(start, end - start, value);
}

// Runs veilcap with a copy of the settings file on the sample trace and
// returns the SHA-256 of the output trace.
std::string anonymizedSampleDigest(const std::string& settingsFile) {
    TempDir dir;
    std::string settings = readFile(sourcePath(settingsFile));
    settings = setItem(settings, "Input", "sample.pcap");
    settings = setItem(settings, "Output", "out.pcap");
    writeFile(dir.file("settings.xml"), settings);
    writeFile(dir.file("sample.pcap"), readFile(sourcePath("examples/sample.pcap")));
    ProcessResult run = runVeilcap({"settings.xml"}, "", dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    ProcessResult digest = runShell("sha256sum '" + dir.file("out.pcap") + "'");
    EXPECT_EQ(digest.status, 0) << digest.err;
    return digest.out.substr(0, 64);
}

}  // namespace

TEST(GoldenOutput, DefaultSettingsOnTheSampleTrace) {
    EXPECT_EQ(anonymizedSampleDigest("examples/settings.xml"),
              "7a901c422599c03017533c956eef76238a7b72989f143177fb874bb5665ab369");
}

TEST(GoldenOutput, IdentityProfileOnTheSampleTrace) {
    EXPECT_EQ(anonymizedSampleDigest("profiles/identity.xml"),
              "b7265ca510ffece53f97caf86012550c3ccca4a4e350d8e1a6f42abc36b4bd47");
}

TEST(GoldenOutput, StrictProfileOnTheSampleTrace) {
    EXPECT_EQ(anonymizedSampleDigest("profiles/strict.xml"),
              "f10a7cc5430ad35054d066ec47fbfe4138074ab768861cfe3eed7b47d711bebf");
}
