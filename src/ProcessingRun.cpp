#include "ProcessingRun.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "Configuration.h"
#include "Console.h"
#include "ExitStatus.h"
#include "PacketAnonymizer.h"
#include "TraceFile.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

namespace {

// Set by SIGINT or SIGTERM; tested between frames, so the frame in hand is
// always finished and the output stays a complete trace.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onInterrupt(int) {
    stopRequested = 1;
}

void installStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// True when both names are files and the same one (same device and inode).
bool sameFile(const std::string& first, const std::string& second) {
    if (first == "stdin" || second == "stdout")
        return false;
    struct stat a, b;
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void printDump(const char* startLabel, const char* endLabel, const char* closing,
               int64_t frameNumber, const Frame* frame) {
    std::string number = std::to_string(frameNumber);
    printText(startLabel + number + closing);
    printText(frame->toString());
    printText(endLabel + number + closing);
}

enum FrameOutcome { FRAME_DONE, FRAME_END_OF_INPUT, FRAME_INPUT_FAILED, FRAME_OUTPUT_FAILED };

class FrameLoop {
  public:
    FrameLoop(TraceFile& input, TraceFile& output)
        : input(input), output(output), factory(PacketFactory::instance()) {
        Configuration* config = Configuration::instance();
        useMeasure = config->getUseMeasure();
        printPackets = config->getPrintPackets();
    }

    FrameOutcome run() {
        for (int64_t frameNumber = 1;; ++frameNumber) {
            if (stopRequested) {
                return FRAME_DONE;
            }
            FrameOutcome outcome = FRAME_DONE;
            try {
                outcome = processOne(frameNumber);
            } catch (...) {
                // A frame that cannot be handled is dropped; the rest goes on.
                releaseFrameInHand();
            }
            if (outcome != FRAME_DONE) {
                return outcome;
            }
        }
    }

  private:
    FrameOutcome processOne(int64_t frameNumber) {
        frame = input.readFrame();
        if (frame == nullptr) {
            return noFrame();
        }
        Packet* first = frame->packet;
        first->parse();
        first->createNextPacket();
        received = first;
        if (useMeasure) {
            walkChain(received);
        }
        if (printPackets) {
            printDump("------------------start original packet ",
                      "------------------end   original packet ", "------------------\n",
                      frameNumber, frame);
        }
        Packet* anonymized = anonymizer.anonymizePacket(received);
        if (anonymized == nullptr) {
            releaseFrameInHand();
            return FRAME_DONE;
        }
        frame->packet = anonymized;
        bool written = output.writeFrame(frame);
        if (written && printPackets) {
            printDump("-----------------start anonymized packet ",
                      "-----------------end   anonymized packet ", "-----------------\n",
                      frameNumber, frame);
        }
        releaseFrameInHand();
        if (!written) {
            return FRAME_OUTPUT_FAILED;
        }
        if (Configuration::instance()->getSingleStepping()) {
            printText("veilcap singlestepping mode :: waiting for keyboard input >> ");
            std::getchar();
        }
        return FRAME_DONE;
    }

    // No frame came back: the end of the input, a single bad record (the
    // reader said why; the next one is tried), or an input that can no
    // longer deliver.
    FrameOutcome noFrame() {
        Stream* stream = input.getStream();
        if (stream->isEof()) {
            return FRAME_END_OF_INPUT;
        }
        bool stdinFailed = stream->getIoSource() == Stream::IO_STDIN && std::ferror(stdin);
        if (!stream->good() || input.getMode() != MODE_READ || stdinFailed) {
            return FRAME_INPUT_FAILED;
        }
        return FRAME_DONE;
    }

    static void walkChain(const Packet* packet) {
        while (packet != nullptr)
            packet = packet->getNext();
    }

    // Returns the frame (with whatever chain it holds) and the received
    // chain, if it was taken out, to the factory.
    void releaseFrameInHand() {
        if (frame != nullptr) {
            Packet* held = frame->packet;
            factory->freeFrame(frame);
            if (received != nullptr && received != held) {
                factory->freePacket(received);
            }
        }
        frame = nullptr;
        received = nullptr;
    }

    TraceFile& input;
    TraceFile& output;
    PacketFactory* factory;
    PacketAnonymizer anonymizer;
    bool useMeasure = false;
    bool printPackets = false;
    Frame* frame = nullptr;
    Packet* received = nullptr;
};

// Reads the profile and ends the process when it is incomplete.
void loadProfile() {
    Configuration* config = Configuration::instance();
    config->loadAnonProfile();
    if (!config->checkAnonProfile()) {
        exitWithConfigurationError("invalid configuration");
    }
}

}  // namespace

int runProcessing(const std::string& settingsFileName) {
    Configuration* config = Configuration::instance();
    TraceFile input(config->getInput(), MODE_READ);
    std::string outputName = config->getOutput();
    if (sameFile(config->getInput(), outputName)) {
        printLine("input and output trace are the same file");
        return -1;
    }
    TraceFile output(outputName, MODE_WRITE);

    config->getUseMeasure();
    config->getPrintPackets();
    printLine("\tconfiguration file:\t " + settingsFileName);
    printLine("\tinput packet trace:\t " + config->getInput());
    printLine("\toutput packet trace:\t " + config->getOutput());

    installStopHandlers();
    if (!input.openTrace() || !output.openTrace()) {
        return -1;
    }
    // The profile is read before the first frame is taken from the input,
    // so a pipe on standard input simply waits: no frame is lost.
    loadProfile();

    FrameOutcome outcome = FrameLoop(input, output).run();
    config->releaseAnonProfile();
    if (outcome == FRAME_INPUT_FAILED || outcome == FRAME_OUTPUT_FAILED) {
        return -1;
    }
    if (!output.close()) {
        printLine("writing packet failed");
        return -1;
    }
    printLine("anonymization done");
    return 0;
}
