#ifndef VEILCAP_TRACEFILE_H
#define VEILCAP_TRACEFILE_H

#include <memory>
#include <string>

#include "IoMode.h"
#include "Stream.h"

class Frame;

// One packet trace in the pcap format, read or written frame by
// frame through a Stream: a named file, standard input ("stdin") or
// standard output ("stdout"). Only Ethernet traces (link type 1), in host
// byte order. Every diagnostic is one line on standard error.
class TraceFile {
  public:
    // Picks the stream from the name and the mode ("stdin" is always read,
    // "stdout" always written; a file opened for writing is created or
    // truncated here). A stream that cannot be opened is reported.
    TraceFile(const std::string& traceName, IoMode mode);
    // The same over a given stream (owned from now on) instead of one picked
    // from the name, for example a file stream whose file a test disturbs.
    TraceFile(const std::string& traceName, IoMode mode, Stream* givenStream);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Reads and checks the file header (reading trace) or writes it
    // (writing trace). Called once, before any frame.
    bool openTrace();

    // The next frame, its first packet holding the captured bytes (not yet
    // parsed), or null at the end of the trace or after a bad record. The
    // frame belongs to the caller, who returns it to the packet factory.
    Frame* readFrame();

    // Writes the frame (serialized, that is assembled) as one record. The
    // frame stays the caller's.
    bool writeFrame(Frame* frame);

    // Writes out and closes the trace; false when any of it failed.
    bool close() { return stream->close(); }

    Stream* getStream() const { return stream.get(); }
    IoMode getMode() const { return mode; }
    const std::string& getFileName() const { return fileName; }

    // The part of the trace name after its last "/".
    std::string getBaseName() const;

    static const uint32_t PCAP_MAGIC = 0xA1B2C3D4u;
    static const uint32_t LINKTYPE_ETHERNET = 1;
    static const uint32_t MAX_CAPTURED_LENGTH = 65535;
    static const int FILE_HEADER_SIZE = 24;
    static const int RECORD_HEADER_SIZE = 16;

  private:
    void reportIfNotOpen();

    std::string fileName;
    std::unique_ptr<Stream> stream;
    IoMode mode;
};

#endif
