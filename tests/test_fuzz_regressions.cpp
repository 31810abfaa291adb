// Replays the inputs under tests/fuzz-regressions/<target>/ (crashes and
// leaks the fuzz targets once found, and inputs kept for the paths they
// reach) through the same pipeline code as the libFuzzer targets
// (fuzz/FuzzPipeline.h), in the normal build. A fault shows as a crash,
// an abort of a pipeline invariant, or a sanitizer report in the
// sanitizer build.

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../fuzz/FuzzPipeline.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

std::vector<std::string> regressionInputs(const std::string& target) {
    std::string dir = sourcePath("tests/fuzz-regressions/" + target);
    std::vector<std::string> files;
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return files;
    while (dirent* entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || name.rfind("README", 0) == 0)
            continue;
        files.push_back(dir + "/" + name);
    }
    closedir(folder);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::string content = readFile(path);
    return std::vector<uint8_t>(content.begin(), content.end());
}

void replayTrace(const std::string& target, uint32_t blockRead, uint32_t blockWrite,
                 bool headerIncluded) {
    fuzzpipeline::loadTraceProfile(blockRead, blockWrite);
    for (const std::string& file : regressionInputs(target)) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> bytes = bytesOf(file);
        if (headerIncluded)
            fuzzpipeline::runTrace(bytes.data(), bytes.size());
        else
            fuzzpipeline::runTraceBody(bytes.data(), bytes.size());
    }
    Configuration::instance()->releaseAnonProfile();
    Configuration::destroyInstance();
    fuzzpipeline::removeScratchDir();
}

}  // namespace

TEST(FuzzRegressions, Trace) {
    replayTrace("trace", 4096, 4096, false);
}

TEST(FuzzRegressions, TraceHeader) {
    replayTrace("trace_header", 13, 7, true);
}

TEST(FuzzRegressions, Settings) {
    for (const std::string& file : regressionInputs("settings")) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> bytes = bytesOf(file);
        fuzzpipeline::runSettings(bytes.data(), bytes.size());
    }
    fuzzpipeline::removeScratchDir();
}

TEST(FuzzRegressions, Primitive) {
    std::vector<std::string> inputs = regressionInputs("primitive");
    EXPECT_FALSE(inputs.empty());
    for (const std::string& file : inputs) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> bytes = bytesOf(file);
        fuzzpipeline::runPrimitives(bytes.data(), bytes.size());
    }
}
