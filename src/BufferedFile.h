#ifndef VEILCAP_BUFFEREDFILE_H
#define VEILCAP_BUFFEREDFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "IoMode.h"

// A binary file with one read buffer and one write buffer.
// Requests of at least one block move whole blocks directly between the
// caller's memory and the file; only the tail of a request goes through
// the buffer. A buffer size of 0 passes every request straight to the file.
//
// The underlying file is a C stdio stream with stdio's own buffering
// turned off, so that each block transfer is one operation on the file.
// All file access goes through the protected virtual fileRead/fileWrite,
// and the number of such operations is counted, so that tests can observe
// (and, in a derived class, disturb) the file operations.
class BufferedFile {
  public:
    BufferedFile();
    virtual ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Opens the file in binary mode: MODE_READ for input, MODE_WRITE for
    // output (created or truncated). Any other mode opens nothing. A failed
    // open leaves the file not open with a failure recorded.
    void open(const std::string& fileName, IoMode mode);

    // Reallocate the buffer to exactly n bytes; called before open, with
    // empty buffers.
    void setReadBufferSize(uint32_t n);
    void setWriteBufferSize(uint32_t n);

    void read(void* dst, uint32_t count);
    void write(const void* src, uint32_t count);

    bool isOpen() const { return internalstream != nullptr; }
    // No failure recorded.
    bool good() const { return !failed; }
    // True once a read request came up short because the file ended.
    bool eof() const { return endOfFile; }

    // Writes the waiting bytes, closes the file (a failing close records a
    // failure). A second call does nothing.
    void close();

    uint32_t getReadBufferSize() const { return readbuffersize; }
    uint32_t getWriteBufferSize() const { return writebuffersize; }
    // Bytes waiting in the write buffer.
    uint32_t getWriteBufferItems() const { return writebufferitems; }

    // Number of read and write operations done on the underlying file.
    uint64_t fileReadCount() const { return fileReads; }
    uint64_t fileWriteCount() const { return fileWrites; }

  protected:
    // Reads up to n bytes from the file into dst and returns the number
    // delivered. A result below n means the file ended or failed; the
    // implementation says which through fileError().
    virtual size_t fileRead(void* dst, size_t n);
    // Writes n bytes and returns the number the file accepted.
    virtual size_t fileWrite(const void* src, size_t n);
    // After a short fileRead: true when the file failed rather than ended.
    virtual bool fileError();

  private:
    // One block (or direct) read; records a hard error as a failure.
    size_t readFromFile(void* dst, size_t n);
    // One write; records a short write as a failure.
    bool writeToFile(const void* src, size_t n);
    // A request came up short: records the failure, and the end of file
    // unless the file failed.
    void requestShort();

    uint8_t* readbuffer;
    uint32_t readbuffersize;
    uint32_t readbufferitems_low;
    uint32_t readbufferitems_high;
    uint8_t* writebuffer;
    uint32_t writebuffersize;
    uint32_t writebufferitems;
    FILE* internalstream;

    // The file's state.
    bool failed;     // a failure is recorded (sticky)
    bool endOfFile;  // a read request came up short at the end of the file
    bool hardError;  // the file failed with an error other than end of file
    uint64_t fileReads;
    uint64_t fileWrites;
};

#endif
