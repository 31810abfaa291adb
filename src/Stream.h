#ifndef VEILCAP_STREAM_H
#define VEILCAP_STREAM_H

#include <cstdint>
#include <memory>
#include <string>

#include "BufferedFile.h"
#include "IoMode.h"

// A source or destination of trace bytes: a named file (through a
// BufferedFile sized by BlockSizeRead / BlockSizeWrite), standard input or
// standard output.
class Stream {
  public:
    enum IoSource {
        IO_FILE = 0,
        IO_STDIN = 1,
        IO_STDOUT = 2,
    };

    // A file stream: sizes the buffers from the settings and opens the
    // file. A failed open is not reported here; ask good() and isOpen().
    Stream(const std::string& fileName, IoMode mode);
    // The same over a given BufferedFile (owned from now on), for example
    // one whose file operations a test observes.
    Stream(const std::string& fileName, IoMode mode, BufferedFile* bufferedFile);
    // A standard stream (IO_STDIN or IO_STDOUT). Standard input is switched
    // to blocking mode; if that fails the process ends with a message.
    explicit Stream(IoSource source);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool read(void* buffer, int32_t length);
    bool write(const void* buffer, int32_t length);
    bool good() const;
    bool isOpen() const;
    bool isEof() const;
    // Writes out what is waiting and closes a file; flushes standard output.
    // False when that failed (or an earlier failure was recorded).
    bool close();
    IoSource getIoSource() const { return iosource; }
    IoMode getMode() const { return mode; }
    // The stream's BufferedFile (used only for IO_FILE).
    BufferedFile* getFile() const { return file.get(); }

  private:
    IoSource iosource;
    IoMode mode;
    std::unique_ptr<BufferedFile> file;
};

#endif
