#include "Stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cassert>
#include <cstdio>

#include "Configuration.h"
#include "ExitStatus.h"

Stream::Stream(const std::string& fileName, IoMode mode)
    : Stream(fileName, mode, new BufferedFile()) {}

Stream::Stream(const std::string& fileName, IoMode mode, BufferedFile* bufferedFile)
    : iosource(IO_FILE), mode(mode), file(bufferedFile) {
    Configuration* configuration = Configuration::instance();
    file->setReadBufferSize(configuration->getBlockSizeRead());
    file->setWriteBufferSize(configuration->getBlockSizeWrite());
    file->open(fileName, mode);
}

Stream::Stream(IoSource source) : iosource(source), mode(MODE_WRITE), file(new BufferedFile()) {
    assert(source != IO_FILE && "iosource != Stream::IO_FILE");
    if (source == IO_STDIN) {
        mode = MODE_READ;
        int descriptor = fileno(stdin);
        int flags = fcntl(descriptor, F_GETFL);
        if (flags == -1 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            exitWithConfigurationError("setting terminal nonblocking mode failed");
        }
    }
}

Stream::~Stream() {
    if (iosource == IO_FILE && file->isOpen()) {
        file->close();
    }
}

bool Stream::close() {
    switch (iosource) {
        case IO_FILE:
            if (file->isOpen()) {
                file->close();
            }
            return file->good();
        case IO_STDOUT:
            return std::fflush(stdout) == 0 && !std::ferror(stdout);
        default:
            return true;
    }
}

bool Stream::read(void* buffer, int32_t length) {
    if (length < 0) {
        return false;
    }
    switch (iosource) {
        case IO_FILE:
            if (!file->isOpen()) {
                return false;
            }
            file->read(buffer, static_cast<uint32_t>(length));
            return good();
        case IO_STDIN:
            // A short read is not examined here; the caller asks isEof().
            if (length > 0) {
                (void)std::fread(buffer, 1, static_cast<size_t>(length), stdin);
            }
            return good();
        default:
            return false;
    }
}

bool Stream::write(const void* buffer, int32_t length) {
    if (length < 0) {
        return false;
    }
    switch (iosource) {
        case IO_FILE:
            if (!file->isOpen()) {
                return false;
            }
            file->write(buffer, static_cast<uint32_t>(length));
            return good();
        case IO_STDIN:
            return false;
        default:
            if (length == 0) {
                return true;
            }
            return std::fwrite(buffer, 1, static_cast<size_t>(length), stdout) ==
                   static_cast<size_t>(length);
    }
}

bool Stream::good() const {
    if (iosource != IO_FILE) {
        return true;
    }
    return file->isOpen() && file->good();
}

bool Stream::isOpen() const {
    if (iosource != IO_FILE) {
        return true;
    }
    return file->isOpen();
}

bool Stream::isEof() const {
    switch (iosource) {
        case IO_FILE:
            return !file->isOpen() || file->eof();
        case IO_STDIN:
            return std::feof(stdin) != 0;
        default:
            return false;
    }
}
