#include "TraceFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Console.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

namespace {

// Every multi-byte field of the file is in host byte order: no swapping.
uint32_t fieldAt(const uint8_t* bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

void putField(uint8_t* bytes, size_t offset, uint32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}

}  // namespace

TraceFile::TraceFile(const std::string& traceName, IoMode mode) : fileName(traceName), mode(mode) {
    if (fileName == "stdin") {
        if (this->mode == MODE_WRITE) {
            printLine("Invalid IO: stdin and write. Converting write to read");
            this->mode = MODE_READ;
        }
        stream.reset(new Stream(Stream::IO_STDIN));
    } else if (fileName == "stdout") {
        if (this->mode == MODE_READ) {
            printLine("Invalid IO: stdout and read. Converting read to write");
            this->mode = MODE_WRITE;
        }
        stream.reset(new Stream(Stream::IO_STDOUT));
    } else {
        stream.reset(new Stream(fileName, this->mode));
    }
    reportIfNotOpen();
}

TraceFile::TraceFile(const std::string& traceName, IoMode mode, Stream* givenStream)
    : fileName(traceName), stream(givenStream), mode(mode) {
    reportIfNotOpen();
}

TraceFile::~TraceFile() = default;

void TraceFile::reportIfNotOpen() {
    if (!stream->good() || !stream->isOpen()) {
        printLine("opening " + getBaseName() + " failed");
    }
}

std::string TraceFile::getBaseName() const {
    std::string::size_type slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

bool TraceFile::openTrace() {
    if (!stream->good() || !stream->isOpen()) {
        printLine("opening " + getBaseName() + " failed");
        return false;
    }
    if (mode == MODE_READ) {
        uint8_t header[FILE_HEADER_SIZE] = {};
        stream->read(header, FILE_HEADER_SIZE);
        if (!stream->good()) {
            printLine("reading pcap header from file " + getBaseName() + " failed");
            return false;
        }
        uint32_t magic = fieldAt(header, 0);
        if (magic != PCAP_MAGIC) {
            printLine("invalid magic code " + std::to_string(magic) + " in file " + getBaseName() +
                      ", should be " + std::to_string(PCAP_MAGIC));
            return false;
        }
        if (fieldAt(header, 20) != LINKTYPE_ETHERNET) {
            printLine("not an ethernet dump file");
            return false;
        }
        networkType = 1;
        return stream->good();
    }
    if (mode == MODE_WRITE) {
        static const uint8_t header[FILE_HEADER_SIZE] = {
            0xD4, 0xC3, 0xB2, 0xA1,  // magic number
            0x02, 0x00, 0x04, 0x00,  // version 2.4
            0x00, 0x00, 0x00, 0x00,  // time zone offset
            0x00, 0x00, 0x00, 0x00,  // timestamp accuracy
            0xFF, 0xFF, 0x00, 0x00,  // snapshot length 65535
            0x01, 0x00, 0x00, 0x00,  // link type Ethernet
        };
        stream->write(header, FILE_HEADER_SIZE);
        if (!stream->good()) {
            printLine("writing pcap header to file " + getBaseName() + " failed");
            return false;
        }
        return true;
    }
    return stream->good();
}

Frame* TraceFile::readFrame() {
    if (!stream->isOpen()) {
        return nullptr;
    }
    uint8_t header[RECORD_HEADER_SIZE] = {};
    bool ok = stream->read(header, RECORD_HEADER_SIZE);
    if (stream->isEof()) {
        return nullptr;  // the end of the trace, possibly inside a record header
    }
    if (!ok || !stream->good()) {
        printLine("reading record header failed");
        return nullptr;
    }

    PacketFactory* factory = PacketFactory::instance();
    Frame* frame = factory->createFrame();
    if (frame == nullptr) {
        return nullptr;
    }
    frame->timestampSeconds = static_cast<int32_t>(fieldAt(header, 0));
    frame->timestampMicroseconds = static_cast<int32_t>(fieldAt(header, 4));
    frame->capturedLength = fieldAt(header, 8);
    frame->originalLength = fieldAt(header, 12);

    Packet* first = frame->packet;
    if (first == nullptr) {
        printLine("not a known link type");
        factory->freeFrame(frame);
        return nullptr;
    }
    uint32_t length = frame->capturedLength;
    if (length == 0 || length > MAX_CAPTURED_LENGTH) {
        // The record's bytes are not skipped: the next read starts right
        // after this header.
        printLine("invalid frame size of " + std::to_string(length));
        factory->freeFrame(frame);
        return nullptr;
    }

    // The captured bytes go straight into the first packet's buffer.
    first->resizeBuffer(length);
    ok = stream->read(first->getBuffer(), static_cast<int32_t>(length));
    if (stream->isEof()) {
        factory->freeFrame(frame);
        return nullptr;  // the trace stops inside the frame's bytes
    }
    if (!ok || !stream->good()) {
        printLine("reading packet failed");
        factory->freeFrame(frame);
        return nullptr;
    }
    if (length < first->minimumSize()) {
        factory->freeFrame(frame);
        return nullptr;
    }
    return frame;
}

bool TraceFile::writeFrame(Frame* frame) {
    if (!stream->isOpen()) {
        return false;
    }
    uint32_t length = 0;
    const uint8_t* bytes = frame->assemble(length);

    uint8_t header[RECORD_HEADER_SIZE];
    putField(header, 0, static_cast<uint32_t>(frame->timestampSeconds));
    putField(header, 4, static_cast<uint32_t>(frame->timestampMicroseconds));
    putField(header, 8, length);
    putField(header, 12, length);

    bool ok =
        length <= static_cast<uint32_t>(INT32_MAX) && stream->write(header, RECORD_HEADER_SIZE);
    ok = ok && stream->write(bytes, static_cast<int32_t>(length));
    if (ok && stream->good()) {
        return true;
    }
    printLine("writing packet failed");
    return false;
}
