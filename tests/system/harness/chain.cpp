// System-test harness: implementation of the process chain declared in chain.h.
#include "chain.h"
#include <algorithm>

namespace sys {

ChainRun::~ChainRun()
{
    if (job_) {
        TerminateJobObject(job_, 1);
        CloseHandle(job_);
    }
    for (auto& m : handles_)
        CloseHandle(m.second);
    if (port_)
        CloseHandle(port_);
    if (process_)
        CloseHandle(process_);
}

bool ChainRun::Start(const std::string& commandLine, const std::string& currentDir, const std::string& tempDir)
{
    StartDesktopOutsideJobs(); // or Wine's desktop process would join the job
    job_ = CreateKillingJob();
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1);
    if (!job_ || !port_)
        return false;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {job_, port_};
    if (!SetInformationJobObject(job_, JobObjectAssociateCompletionPortInformation, &association, sizeof association))
        return false;
    PROCESS_INFORMATION info;
    std::string error;
    if (!StartSuspendedInJob(job_, commandLine, currentDir, EnvironmentBlock(tempDir, {}), &info, &error))
        return false;
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    Note(info.dwProcessId);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return true;
}

bool ChainRun::WaitAll(DWORD timeoutMs)
{
    bool done = WaitUntil(
        [&] {
            Drain();
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
            QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, NULL);
            return accounting.ActiveProcesses == 0 && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    if (!done)
        TerminateJobObject(job_, 1);
    Drain();
    return done;
}

DWORD ChainRun::ExitCode()
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

std::vector<ChainRun::Member> ChainRun::Members()
{
    std::vector<Member> out;
    for (auto& m : handles_) {
        Member member;
        char path[MAX_PATH] = "";
        DWORD size = sizeof path;
        if (!QueryFullProcessImageNameA(m.second, 0, path, &size))
            path[0] = 0;
        std::string image = path;
        image = image.substr(image.find_last_of('\\') + 1);
        std::transform(image.begin(), image.end(), image.begin(), ::tolower);
        member.image = image;
        member.exitCode = STILL_ACTIVE;
        GetExitCodeProcess(m.second, &member.exitCode);
        member.abnormal = std::find(abnormal_.begin(), abnormal_.end(), m.first) != abnormal_.end();
        out.push_back(member);
    }
    return out;
}

void ChainRun::Note(DWORD pid)
{
    for (auto& m : handles_)
        if (m.first == pid)
            return;
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid); // 0x101000
    if (handle)
        handles_.push_back({pid, handle});
}

void ChainRun::Drain()
{
    DWORD message;
    ULONG_PTR key;
    LPOVERLAPPED data;
    while (GetQueuedCompletionStatus(port_, &message, &key, &data, 0)) {
        DWORD pid = (DWORD)(ULONG_PTR)data;
        if (message == JOB_OBJECT_MSG_NEW_PROCESS) // 6
            Note(pid);
        else if (message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) // 8
            abnormal_.push_back(pid);
    }
}

std::vector<std::string> Endings(ChainRun& run)
{
    std::vector<std::string> out;
    for (const ChainRun::Member& m : run.Members()) {
        char code[16];
        wsprintfA(code, "%lX", m.exitCode);
        out.push_back(m.image + " " + code + (m.abnormal ? " abnormal" : ""));
    }
    return out;
}

} // namespace sys
