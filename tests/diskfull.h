#pragma once
// While a DiskFullAfter lives, a write that would take any file of this
// process past `bytes` fails as on a full disk: the kernel writes what fits
// and refuses the rest. No small file system is needed.

#include <csignal>
#include <sys/resource.h>

class DiskFullAfter {
public:
    explicit DiskFullAfter(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~DiskFullAfter()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
