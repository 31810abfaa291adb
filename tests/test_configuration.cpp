#include <gtest/gtest.h>

#include "Configuration.h"
#include "TestSupport.h"

using testsupport::ScopedConfiguration;
using testsupport::Settings;

namespace {

TEST(ConfigurationFlags, OnlyTheExactTextOneIsTrue) {
    struct Case {
        std::string text;
        bool expected;
    };
    const Case cases[] = {{"1", true},   {"0", false},  {"true", false}, {"yes", false},
                          {" 1", false}, {"1 ", false}, {"", false},     {"\n1\n", false}};
    for (const Case& c : cases) {
        Settings settings;
        settings.printPackets = c.text;
        settings.useMeasure = c.text;
        settings.singleStepping = c.text;
        ScopedConfiguration scope(settings);
        Configuration* config = Configuration::instance();
        EXPECT_EQ(config->getPrintPackets(), c.expected) << "'" << c.text << "'";
        EXPECT_EQ(config->getUseMeasure(), c.expected) << "'" << c.text << "'";
        EXPECT_EQ(config->getSingleStepping(), c.expected) << "'" << c.text << "'";
    }
}

TEST(ConfigurationFlags, StringsAreReturnedUnchanged) {
    Settings settings;
    settings.input = "\n        trace.pcap\n      ";
    ScopedConfiguration scope(settings);
    EXPECT_EQ(Configuration::instance()->getInput(), "\n        trace.pcap\n      ");
    EXPECT_EQ(Configuration::instance()->getOutput(), "out.pcap");
}

TEST(ConfigurationBlockSizes, ReadLikeStrtoulReducedTo32Bits) {
    struct Case {
        std::string text;
        uint32_t expected;
    };
    const Case cases[] = {{"4096", 4096}, {"12abc", 12}, {"abc", 0},         {"4294967297", 1},
                          {"  64", 64},   {"", 0},       {"-1", 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        Settings settings;
        settings.blockSizeRead = c.text;
        settings.blockSizeWrite = "7";
        ScopedConfiguration scope(settings);
        EXPECT_EQ(Configuration::instance()->getBlockSizeRead(), c.expected) << c.text;
        EXPECT_EQ(Configuration::instance()->getBlockSizeWrite(), 7u) << "sizes are independent";
    }
    Settings absent;
    absent.omit = {"BlockSizeRead", "BlockSizeWrite"};
    ScopedConfiguration scope(absent);
    EXPECT_EQ(Configuration::instance()->getBlockSizeRead(), 0u);
    EXPECT_EQ(Configuration::instance()->getBlockSizeWrite(), 0u);
}

TEST(ConfigurationFlags, CachedValuesDoNotFollowLaterEdits) {
    ScopedConfiguration scope;
    Configuration* config = Configuration::instance();
    EXPECT_FALSE(config->getPrintPackets());
    config->setConfigValue("Settings/Misc/PrintPackets", "1");
    EXPECT_FALSE(config->getPrintPackets());
}

using ConfigurationDeathTest = ::testing::Test;

TEST_F(ConfigurationDeathTest, AbsentSettingEndsTheProcessWithStatusTwo) {
    Settings settings;
    settings.omit = {"PrintPackets"};
    EXPECT_EXIT(
        {
            ScopedConfiguration scope(settings);
            Configuration::instance()->getPrintPackets();
        },
        ::testing::ExitedWithCode(2), "^configuration error: invalid config element\n$");
}

TEST_F(ConfigurationDeathTest, ChecksumSwitchesMustAgree) {
    const std::string contradiction =
        "^configuration error: Settings/Checksumming/SetBadChecksumsToBad is set to 1 but "
        "Settings/Checksumming/ReCalculateChecksums is set to 0\n$";
    for (const char* recalculate : {"0", "yes"}) {
        Settings settings;
        settings.setBadChecksumsToBad = "1";
        settings.reCalculateChecksums = recalculate;
        EXPECT_EXIT(ScopedConfiguration scope(settings), ::testing::ExitedWithCode(2),
                    contradiction);
    }
    Settings absent;
    absent.setBadChecksumsToBad = "1";
    absent.omit = {"ReCalculateChecksums"};
    EXPECT_EXIT(ScopedConfiguration scope(absent), ::testing::ExitedWithCode(2),
                "^configuration error: invalid config element\n$");

    Settings agreeing;
    agreeing.setBadChecksumsToBad = "1";
    agreeing.reCalculateChecksums = "1";
    ScopedConfiguration scope(agreeing);
    EXPECT_TRUE(Configuration::instance()->getSetBadChecksumsToBad());
}

TEST_F(ConfigurationDeathTest, RecalculationIsOnlyReadWhenNeeded) {
    Settings settings;
    settings.setBadChecksumsToBad = "0";
    settings.omit = {"ReCalculateChecksums"};
    ScopedConfiguration scope(settings);
    EXPECT_FALSE(Configuration::instance()->getSetBadChecksumsToBad());
    EXPECT_EXIT(Configuration::instance()->getReCalculateChecksums(), ::testing::ExitedWithCode(2),
                "^configuration error: invalid config element\n$");
}

TEST(ConfigurationOptional, MeasureFileAndCreatePlotFollowTheConventions) {
    Settings settings;
    settings.extraMiscItems =
        "<configitem name=\"MeasureFile\">measure.txt</configitem>"
        "<configitem name=\"CreatePlot\">1</configitem>";
    ScopedConfiguration scope(settings);
    Configuration* config = Configuration::instance();
    EXPECT_EQ(config->getMeasureFile(), "measure.txt");
    EXPECT_TRUE(config->getCreatePlot());
}

}  // namespace
