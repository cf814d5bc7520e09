#pragma once

#include <QtGlobal>

// Resident memory of this process in KiB (VmRSS in /proc/self/status), or -1.
qint64 residentKiB();

// Open file descriptors of this process: the entries of /proc/self/fd.
int openFileDescriptors();

// Processor time this process has used so far, user and system, in seconds.
double cpuSeconds();
