#include "BufferedFile.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {
const uint32_t INITIAL_BUFFER_SIZE = 1024;
}

BufferedFile::BufferedFile()
    : readbuffer(static_cast<uint8_t*>(std::malloc(INITIAL_BUFFER_SIZE))),
      readbuffersize(INITIAL_BUFFER_SIZE),
      readbufferitems_low(0),
      readbufferitems_high(0),
      writebuffer(static_cast<uint8_t*>(std::malloc(INITIAL_BUFFER_SIZE))),
      writebuffersize(INITIAL_BUFFER_SIZE),
      writebufferitems(0),
      internalstream(nullptr),
      failed(false),
      endOfFile(false),
      hardError(false),
      fileReads(0),
      fileWrites(0) {}

BufferedFile::~BufferedFile() {
    close();
    std::free(readbuffer);
    std::free(writebuffer);
}

void BufferedFile::open(const std::string& fileName, IoMode mode) {
    close();
    failed = false;
    endOfFile = false;
    hardError = false;
    readbufferitems_low = 0;
    readbufferitems_high = 0;
    writebufferitems = 0;

    const char* how = nullptr;
    if (mode == MODE_READ) {
        how = "rb";
    } else if (mode == MODE_WRITE) {
        how = "wb";
    }
    if (how != nullptr) {
        internalstream = std::fopen(fileName.c_str(), how);
    }
    if (internalstream == nullptr) {
        failed = true;
        return;
    }
    // The buffers of this class are the only ones: each block transfer is
    // one operation on the file, and large requests are copied once.
    std::setvbuf(internalstream, nullptr, _IONBF, 0);
}

void BufferedFile::setReadBufferSize(uint32_t n) {
    assert(readbufferitems_high == 0 && "readbufferitems_high == 0");
    // realloc to 0 bytes may free the block; keep a valid pointer or null.
    if (n == 0) {
        std::free(readbuffer);
        readbuffer = nullptr;
    } else {
        readbuffer = static_cast<uint8_t*>(std::realloc(readbuffer, n));
    }
    readbuffersize = n;
    readbufferitems_low = 0;
    readbufferitems_high = 0;
}

void BufferedFile::setWriteBufferSize(uint32_t n) {
    assert(writebufferitems == 0 && "writebufferitems == 0");
    if (n == 0) {
        std::free(writebuffer);
        writebuffer = nullptr;
    } else {
        writebuffer = static_cast<uint8_t*>(std::realloc(writebuffer, n));
    }
    writebuffersize = n;
    writebufferitems = 0;
}

size_t BufferedFile::fileRead(void* dst, size_t n) {
    return std::fread(dst, 1, n, internalstream);
}

size_t BufferedFile::fileWrite(const void* src, size_t n) {
    return std::fwrite(src, 1, n, internalstream);
}

bool BufferedFile::fileError() {
    return std::ferror(internalstream) != 0;
}

size_t BufferedFile::readFromFile(void* dst, size_t n) {
    if (hardError || n == 0) {
        return 0;
    }
    ++fileReads;
    size_t got = fileRead(dst, n);
    if (got > n) {
        got = n;
    }
    if (got < n && fileError()) {
        // Not the end of the file: the stream can no longer deliver.
        hardError = true;
        failed = true;
    }
    return got;
}

bool BufferedFile::writeToFile(const void* src, size_t n) {
    if (n == 0) {
        return true;
    }
    ++fileWrites;
    if (fileWrite(src, n) != n) {
        failed = true;
        return false;
    }
    return true;
}

void BufferedFile::requestShort() {
    failed = true;
    if (!hardError) {
        endOfFile = true;
    }
}

void BufferedFile::read(void* dst, uint32_t count) {
    if (internalstream == nullptr || failed || count == 0) {
        return;
    }
    uint8_t* out = static_cast<uint8_t*>(dst);

    // 1. Unbuffered.
    if (readbuffersize == 0) {
        if (readFromFile(out, count) < count) {
            requestShort();
        }
        return;
    }

    assert(readbufferitems_low <= readbufferitems_high &&
           "readbufferitems_low <= readbufferitems_high");
    assert(readbufferitems_high <= readbuffersize && "readbufferitems_high <= readbuffersize");

    // 2. Served from the buffer; the file is not touched.
    uint32_t avail = readbufferitems_high - readbufferitems_low;
    if (avail >= count) {
        std::memcpy(out, readbuffer + readbufferitems_low, count);
        readbufferitems_low += count;
        return;
    }

    // 3. Hand out what the buffer holds.
    std::memcpy(out, readbuffer + readbufferitems_low, avail);
    readbufferitems_low = 0;
    readbufferitems_high = 0;
    uint32_t position = avail;
    uint32_t remaining = count - avail;

    // 4. Whole blocks straight into the caller's memory.
    bool fileEnded = false;
    while (remaining >= readbuffersize) {
        size_t got = readFromFile(out + position, readbuffersize);
        position += static_cast<uint32_t>(got);
        remaining -= static_cast<uint32_t>(got);
        if (got < readbuffersize) {
            fileEnded = true;
            break;
        }
    }

    // 5. Refill once.
    size_t delivered = fileEnded && hardError ? 0 : readFromFile(readbuffer, readbuffersize);
    readbufferitems_high = static_cast<uint32_t>(delivered);
    readbufferitems_low = 0;
    uint32_t take = remaining < delivered ? remaining : static_cast<uint32_t>(delivered);
    std::memcpy(out + position, readbuffer, take);
    readbufferitems_low = take;
    remaining -= take;

    // 6. A request that came up short records the failure.
    if (remaining > 0) {
        requestShort();
    }
}

void BufferedFile::write(const void* src, uint32_t count) {
    if (internalstream == nullptr || failed || count == 0) {
        return;
    }
    const uint8_t* in = static_cast<const uint8_t*>(src);

    // 1. Unbuffered.
    if (writebuffersize == 0) {
        writeToFile(in, count);
        return;
    }

    assert(writebufferitems <= writebuffersize && "writebufferitems <= writebuffersize");

    // 2. Fits: append.
    uint32_t room = writebuffersize - writebufferitems;
    if (room >= count) {
        std::memcpy(writebuffer + writebufferitems, in, count);
        writebufferitems += count;
        return;
    }

    // 3. Fill the buffer and write it out.
    std::memcpy(writebuffer + writebufferitems, in, room);
    writebufferitems = 0;
    if (!writeToFile(writebuffer, writebuffersize)) {
        return;
    }
    uint32_t strpos = room;

    // 4. Whole blocks straight from the caller's memory.
    while (count - strpos >= writebuffersize) {
        if (!writeToFile(in + strpos, writebuffersize)) {
            return;
        }
        strpos += writebuffersize;
    }

    // 5. Keep the tail.
    std::memcpy(writebuffer, in + strpos, count - strpos);
    writebufferitems = count - strpos;
}

void BufferedFile::close() {
    if (internalstream == nullptr) {
        return;
    }
    if (writebufferitems > 0 && !failed) {
        writeToFile(writebuffer, writebufferitems);
    }
    writebufferitems = 0;
    if (std::fclose(internalstream) != 0) {
        failed = true;
    }
    internalstream = nullptr;
}
