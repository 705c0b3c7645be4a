// System-test harness: a process chain whose every member is noted as it starts, with its exit code.
#pragma once
#include "harness.h"

namespace sys {

// A process chain in a job of its own that notes every process of the chain as it starts, so
// that the exit code of each one (the second stage's too) can be checked afterwards. The job is
// killed when the object goes.
class ChainRun {
public:
    struct Member {
        std::string image; // file name, lower case
        DWORD exitCode;
        bool abnormal;     // the job saw it end abnormally
    };

    ~ChainRun();
    // The command line with the temp folder as TEMP and TMP, in currentDir.
    bool Start(const std::string& commandLine, const std::string& currentDir, const std::string& tempDir);
    // Every process of the chain has ended; on timeout the job is killed and the result is false.
    bool WaitAll(DWORD timeoutMs);
    DWORD ExitCode();                 // of the first process
    DWORD Pid() const { return pid_; } // of the first process
    std::vector<Member> Members();    // every process the chain ran, in the order they started

private:
    void Note(DWORD pid);
    void Drain();

    HANDLE job_ = NULL;
    HANDLE port_ = NULL;
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
    std::vector<std::pair<DWORD, HANDLE>> handles_;
    std::vector<DWORD> abnormal_;
};

// How each process of a chain ended, one line each ("uninst.exe 0", the code in hex), in the order they started.
std::vector<std::string> Endings(ChainRun& run);

} // namespace sys
