#ifndef VEILCAP_CONFIGURATION_H
#define VEILCAP_CONFIGURATION_H

#include <cstdint>
#include <string>

#include "Zentrel.h"

// The process-wide settings: the settings file named on the command line,
// loaded once, with typed getters for the module "Settings". A setting
// that the program needs and cannot find ends the process with a
// "configuration error: " line.
class Configuration : public Zentrel {
  public:
    static void setFileName(const std::string& name);

    // The singleton, created and checked on the first call.
    static Configuration* instance();

    // Destroys the singleton (writing the settings file back) and forgets
    // every cached value. Runs at process exit; tests use it to switch
    // between settings files.
    static void destroyInstance();

    std::string getInput();
    std::string getOutput();
    bool getUseMeasure();
    bool getPrintPackets();
    bool getSingleStepping();
    uint32_t getBlockSizeRead();
    uint32_t getBlockSizeWrite();
    bool getReCalculateChecksums();
    bool getSetBadChecksumsToBad();
    std::string getMeasureFile();
    bool getCreatePlot();

    // Ends the process with a "configuration error: " line if the last
    // document operation failed.
    void checkError();

    // The anonymization profile: fills the 43 profile slots of the packet
    // classes from the module "AnonMappings". Ends the process when a
    // submodule is missing or a primitive cannot be built.
    void loadAnonProfile();
    // True when every slot holds a primitive; prints one line per empty slot.
    bool checkAnonProfile();
    // Destroys every primitive chain of the profile and empties the slots.
    void releaseAnonProfile();

  private:
    Configuration();

    struct CachedFlag {
        bool known;
        bool value;
    };

    bool readFlag(const char* path);
    bool readCachedFlag(CachedFlag& cache, const char* path);
    std::string readString(const char* path);
    uint32_t readBlockSize(const char* path);

    static std::string configFile;
    static Configuration* theInstance;
    static CachedFlag useMeasure;
    static CachedFlag printPackets;
    static CachedFlag singleStepping;
    static CachedFlag reCalculateChecksums;
    static CachedFlag setBadChecksumsToBad;
};

#endif
