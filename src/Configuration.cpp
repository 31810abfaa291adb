#include "Configuration.h"

#include <cstdlib>

#include "Console.h"
#include "ExitStatus.h"

namespace {
const char* const KEY_INPUT = "Settings/Flow/Input";
const char* const KEY_OUTPUT = "Settings/Flow/Output";
const char* const KEY_USE_MEASURE = "Settings/Misc/UseMeasure";
const char* const KEY_PRINT_PACKETS = "Settings/Misc/PrintPackets";
const char* const KEY_SINGLE_STEPPING = "Settings/Misc/SingleStepping";
const char* const KEY_BLOCK_SIZE_READ = "Settings/Misc/BlockSizeRead";
const char* const KEY_BLOCK_SIZE_WRITE = "Settings/Misc/BlockSizeWrite";
const char* const KEY_MEASURE_FILE = "Settings/Misc/MeasureFile";
const char* const KEY_CREATE_PLOT = "Settings/Misc/CreatePlot";
const char* const KEY_RECALCULATE = "Settings/Checksumming/ReCalculateChecksums";
const char* const KEY_SET_BAD = "Settings/Checksumming/SetBadChecksumsToBad";
const char* const ERROR_PREFIX = "configuration error: ";

void destroyAtExit() {
    Configuration::destroyInstance();
}
}  // namespace

std::string Configuration::configFile;
Configuration* Configuration::theInstance = nullptr;
Configuration::CachedFlag Configuration::useMeasure = {false, false};
Configuration::CachedFlag Configuration::printPackets = {false, false};
Configuration::CachedFlag Configuration::singleStepping = {false, false};
Configuration::CachedFlag Configuration::reCalculateChecksums = {false, false};
Configuration::CachedFlag Configuration::setBadChecksumsToBad = {false, false};

void Configuration::setFileName(const std::string& name) {
    configFile = name;
}

Configuration* Configuration::instance() {
    static bool exitHandlerRegistered = false;
    if (!exitHandlerRegistered) {
        exitHandlerRegistered = true;
        std::atexit(destroyAtExit);
    }
    if (theInstance == nullptr) {
        // Stored only once the constructor has returned: an exit from inside
        // it finds no instance and leaves the settings file alone.
        Configuration* created = new Configuration();
        theInstance = created;
    }
    return theInstance;
}

void Configuration::destroyInstance() {
    Configuration* doomed = theInstance;
    theInstance = nullptr;
    delete doomed;
    for (CachedFlag* cache : {&useMeasure, &printPackets, &singleStepping, &reCalculateChecksums,
                              &setBadChecksumsToBad}) {
        *cache = CachedFlag{false, false};
    }
}

Configuration::Configuration() : Zentrel(configFile, false, true, true) {
    if (!isOk()) {
        exitWithConfigurationError(ERROR_PREFIX + getError());
    }
    if (getSetBadChecksumsToBad() && !getReCalculateChecksums()) {
        exitWithConfigurationError(std::string(ERROR_PREFIX) + KEY_SET_BAD + " is set to 1 but " +
                                   KEY_RECALCULATE + " is set to 0");
    }
}

void Configuration::checkError() {
    if (!isOk()) {
        exitWithConfigurationError(ERROR_PREFIX + getError());
    }
}

std::string Configuration::readString(const char* path) {
    std::string value = getConfigValue(path);
    checkError();
    return value;
}

bool Configuration::readFlag(const char* path) {
    return readString(path) == "1";
}

bool Configuration::readCachedFlag(CachedFlag& cache, const char* path) {
    if (!cache.known) {
        cache.value = readFlag(path);
        cache.known = true;
    }
    return cache.value;
}

// A block size reads like strtoul with base 10, reduced to 32 bits; an
// absent or unreadable value is 0 without a message.
uint32_t Configuration::readBlockSize(const char* path) {
    std::string text = getConfigValue(path);
    unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    return static_cast<uint32_t>(value);
}

std::string Configuration::getInput() {
    return readString(KEY_INPUT);
}
std::string Configuration::getOutput() {
    return readString(KEY_OUTPUT);
}
bool Configuration::getUseMeasure() {
    return readCachedFlag(useMeasure, KEY_USE_MEASURE);
}
bool Configuration::getPrintPackets() {
    return readCachedFlag(printPackets, KEY_PRINT_PACKETS);
}
bool Configuration::getSingleStepping() {
    return readCachedFlag(singleStepping, KEY_SINGLE_STEPPING);
}
uint32_t Configuration::getBlockSizeRead() {
    return readBlockSize(KEY_BLOCK_SIZE_READ);
}
uint32_t Configuration::getBlockSizeWrite() {
    return readBlockSize(KEY_BLOCK_SIZE_WRITE);
}
bool Configuration::getReCalculateChecksums() {
    return readCachedFlag(reCalculateChecksums, KEY_RECALCULATE);
}
bool Configuration::getSetBadChecksumsToBad() {
    return readCachedFlag(setBadChecksumsToBad, KEY_SET_BAD);
}
std::string Configuration::getMeasureFile() {
    return readString(KEY_MEASURE_FILE);
}
bool Configuration::getCreatePlot() {
    return readFlag(KEY_CREATE_PLOT);
}
