// What /proc tells of a process.
#pragma once
#include <sys/types.h>

#include <vector>

// The numbers of /proc/PID/stat, indexed by field number from 4 (the parent)
// on; fields 1 to 3 read 0. Empty when the process is gone.
std::vector<long> process_stat(pid_t pid);

// The system call that the process's main thread is blocked in, from
// /proc/PID/syscall; -1 when it runs (or is woken and about to) or is gone.
long blocked_syscall(pid_t pid);
