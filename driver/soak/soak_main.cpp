// Soaks the driver in the simulated QORDA-8 with every fault the simulator has.
//   soak [MINUTES [SEED]]   default 10 minutes and a seed of its own choosing
// The soak runs in a worker process of its own, so that a crash is seen, and reported
// with the seed that repeats the schedule.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/soak/soak_run.h"

namespace {

constexpr const char* WorkerSwitch = "--worker";
constexpr const char* PassedLine = "soak passed";
constexpr const char* FailedLine = "soak failed";

int RunWorker(double minutes, unsigned long long seed)
{
    SoakOptions options;
    options.minutes = minutes;
    options.seed = seed;
    options.progress = stdout;
    SoakResult result = RunSoak(options);
    PrintSoakSummary(result, stdout);
    std::printf("%s\n", result.Passed() ? PassedLine : FailedLine);
    std::fflush(stdout);
    return result.Passed() ? 0 : 1;
}

unsigned long long ChooseSeed()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long seed = ULONGLONG(now.QuadPart) ^ (ULONGLONG(GetCurrentProcessId()) << 32);
    return seed % 1000000000ULL;
}

// Starts the worker with its output on a pipe and passes every line on; the last line
// says how it ended, unless it did not end by itself.
int RunSupervised(double minutes, unsigned long long seed)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command =
        std::string("\"") + path + "\" " + WorkerSwitch + " " + std::to_string(minutes) + " " + std::to_string(seed);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return 2;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("the soak worker could not be started (error %lu)\n", GetLastError());
        return 2;
    }
    CloseHandle(writeEnd);
    std::string line, last;
    auto relay = [&](const char* bytes, DWORD count) {
        std::fwrite(bytes, 1, count, stdout);
        std::fflush(stdout);
        for (DWORD index = 0; index < count; ++index) {
            if (bytes[index] == '\n') {
                if (!line.empty()) last = line;
                line.clear();
            } else if (bytes[index] != '\r') {
                line += bytes[index];
            }
        }
    };
    // The end of the pipe is not waited for: a process the worker left behind may hold
    // its write end. The worker's own end is.
    char buffer[4096];
    for (bool ended = false;;) {
        DWORD available = 0, read = 0;
        if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available != 0) {
            if (!ReadFile(readEnd, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read, nullptr))
                break;
            relay(buffer, read);
            continue;
        }
        if (ended) break;
        ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    bool finished = last == PassedLine || last == FailedLine;
    std::printf("crashes %d", finished ? 0 : 1);
    if (!finished) std::printf(": the worker ended with code 0x%08lX before its summary", exitCode);
    std::printf("\nseed %llu (to repeat this schedule: ./run soak %g %llu)\n", seed, minutes, seed);
    return finished && last == PassedLine && exitCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], WorkerSwitch) == 0)
        return RunWorker(std::atof(argv[2]), std::strtoull(argv[3], nullptr, 10));
    double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : ChooseSeed();
    if (minutes <= 0) {
        std::fprintf(stderr, "usage: soak [MINUTES [SEED]]\n");
        return 2;
    }
    std::printf("soak: %g min with seed %llu\n", minutes, seed);
    std::fflush(stdout);
    return RunSupervised(minutes, seed);
}
