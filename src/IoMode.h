#ifndef VEILCAP_IOMODE_H
#define VEILCAP_IOMODE_H

// The direction of a stream or a trace file (Parts 3.1, 3.2). An unscoped
// enumeration: other values can be stored, but they open nothing.
enum IoMode {
    MODE_READ = 1,
    MODE_WRITE = 2,
};

#endif
