// Speed, CPU time and peak memory of the image transfer on loopback, next to a bare send/receive
// loop carrying the same frames to the same responder. Prints a table; see bench/README.md.
//
//   transfer_bench [--mib N] [--rounds N]
//
// Every measurement runs in a fresh process (this program started again), so its CPU time and
// peak memory are its own. The responder is one more such process.
#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "net/image_transfer.h"
#include "net/net.h"
#include "net/transfer_frame.h"

namespace {

struct Figures {
    double dSeconds = 0;
    double dFramesSeconds = 0;   // the transfer: from the file read to the last frame acknowledged
    double dCpuSeconds = 0;
    double dMaxRssMiB = 0;
    uint64_t nPayload = 0;
};

void PinTo(int nCpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(nCpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0)
        std::perror("sched_setaffinity");
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double MaxRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

sockaddr_in Loopback(int nPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    return addr;
}

// The board stand-in: answers every datagram of 8 bytes or more with a success reply echoing it.
int RunResponder(int nCpu)
{
    PinTo(nCpu);
    int hSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr = Loopback(0);
    bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t nLen = sizeof addr;
    getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLen);
    std::printf("%d\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    uint8_t buf[2048];
    uint8_t reply[REPLY_SIZE];
    for (;;) {
        sockaddr_in from{};
        socklen_t nFrom = sizeof from;
        ssize_t n = recvfrom(hSocket, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &nFrom);
        if (n < REPLY_SIZE)
            continue;
        BuildReply(reply, 0, buf);
        sendto(hSocket, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), nFrom);
    }
}

std::vector<uint8_t> ReadFile(const char* szPath)
{
    std::ifstream in(szPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bare loop: frames built beforehand, then one sendto and one blocking recv per frame.
// With bPoll, the receive waits in poll first, as a bounded wait built on poll would.
Figures RunBare(int nPort, const char* szPath, bool bPoll)
{
    std::vector<uint8_t> file = ReadFile(szPath);
    uint32_t nFrames = FrameCount(file.size());
    std::vector<uint8_t> frames(static_cast<size_t>(nFrames) * FRAME_MAX);
    std::vector<int> lengths(nFrames);
    for (uint32_t n = 0; n < nFrames; ++n)
        lengths[n] = BuildDataFrame(&frames[static_cast<size_t>(n) * FRAME_MAX], 1, n, file.data(), file.size());
    int hSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = Loopback(0);
    bind(hSocket, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in dest = Loopback(nPort);

    Figures fig;
    double dCpu = CpuSeconds();
    double dStart = Now();
    uint8_t reply[REPLY_SIZE];
    for (uint32_t n = 0; n < nFrames; ++n) {
        sendto(hSocket, &frames[static_cast<size_t>(n) * FRAME_MAX], static_cast<size_t>(lengths[n]), 0,
               reinterpret_cast<sockaddr*>(&dest), sizeof dest);
        if (bPoll) {
            pollfd pfd{hSocket, POLLIN, 0};
            poll(&pfd, 1, 500);
        }
        recv(hSocket, reply, sizeof reply, 0);
    }
    fig.dSeconds = Now() - dStart;
    fig.dCpuSeconds = CpuSeconds() - dCpu;
    fig.dMaxRssMiB = MaxRssMiB();
    fig.nPayload = file.size();
    close(hSocket);
    return fig;
}

// Notes when the frames start (the file has been read) and when the last one is acknowledged.
struct QuietHost : ITransferHost {
    std::string strLast;
    double dFirstLine = 0;
    double dSecondLine = 0;
    void AppendLog(const std::string& strText) override
    {
        (dFirstLine == 0 ? dFirstLine : dSecondLine == 0 ? dSecondLine : dUnused) = Now();
        strLast = strText;
    }
    double dUnused = 0;
};

// The transfer itself, as a run of the tool makes it: one selected file, no settle pause.
Figures RunTransfer(int nPort, const char* szPath)
{
    std::string strPath = szPath;
    TransferImage image;
    image.nId = 1;
    image.strName = strPath.substr(strPath.rfind('/') + 1);
    image.strPath = strPath;
    TransferSettings settings;
    settings.strBoardIp = "127.0.0.1";
    settings.nBoardPort = nPort;
    settings.nLocalPort = 0;
    settings.nSettleMs = 0;
    QuietHost host;
    CNet net;
    CImageTransfer transfer(host, SystemClock(), settings);
    std::atomic<int> bStop{0};
    std::atomic<int> bQuit{0};

    Figures fig;
    double dCpu = CpuSeconds();
    double dStart = Now();
    TransferResult result = transfer.Run(net, {image}, bStop, bQuit).result;
    fig.dSeconds = Now() - dStart;
    fig.dFramesSeconds = host.dSecondLine - host.dFirstLine;
    fig.dCpuSeconds = CpuSeconds() - dCpu;
    fig.dMaxRssMiB = MaxRssMiB();
    if (result != TransferResult::Installed) {
        std::fprintf(stderr, "transfer failed: %s", host.strLast.c_str());
        std::exit(1);
    }
    std::ifstream in(szPath, std::ios::binary | std::ios::ate);
    fig.nPayload = static_cast<uint64_t>(in.tellg());
    return fig;
}

// Starts this program again with the given arguments; gives its pid and a pipe on its output.
pid_t Spawn(const std::vector<std::string>& args, FILE** ppOut)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(fds[1]);
    *ppOut = fdopen(fds[0], "r");
    return pid;
}

Figures Measure(const std::string& strMode, int nPort, const std::string& strPath, int nCpu)
{
    FILE* pOut = nullptr;
    pid_t pid =
        Spawn({"transfer_bench", "--child", strMode, std::to_string(nPort), strPath, std::to_string(nCpu)}, &pOut);
    Figures fig;
    unsigned long long nPayload = 0;
    if (std::fscanf(pOut, "%lf %lf %lf %lf %llu", &fig.dSeconds, &fig.dFramesSeconds, &fig.dCpuSeconds,
                    &fig.dMaxRssMiB, &nPayload) != 5) {
        std::fprintf(stderr, "%s run failed\n", strMode.c_str());
        std::exit(1);
    }
    fig.nPayload = nPayload;
    std::fclose(pOut);
    waitpid(pid, nullptr, 0);
    return fig;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--respond") == 0)
        return RunResponder(std::atoi(argv[2]));
    if (argc >= 6 && std::strcmp(argv[1], "--child") == 0) {
        PinTo(std::atoi(argv[5]));
        std::string strMode = argv[2];
        int nPort = std::atoi(argv[3]);
        Figures fig = strMode == "transfer" ? RunTransfer(nPort, argv[4]) : RunBare(nPort, argv[4], strMode == "poll");
        std::printf("%.6f %.6f %.6f %.3f %llu\n", fig.dSeconds, fig.dFramesSeconds, fig.dCpuSeconds, fig.dMaxRssMiB,
                    static_cast<unsigned long long>(fig.nPayload));
        return 0;
    }

    int nMiB = 60;
    int nRounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0)
            nMiB = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            nRounds = std::max(1, std::atoi(argv[i + 1]));
    }
    char szDir[] = "/tmp/tovar-bench-XXXXXX";
    if (!mkdtemp(szDir))
        return 1;
    std::string strPath = std::string(szDir) + "/image.bin";
    {
        std::vector<uint8_t> data(static_cast<size_t>(nMiB) << 20);
        uint32_t x = 12345;
        for (auto& b : data) {
            x = x * 1103515245 + 12345;
            b = static_cast<uint8_t>(x >> 24);
        }
        std::ofstream(strPath, std::ios::binary).write(reinterpret_cast<char*>(data.data()),
                                                       static_cast<std::streamsize>(data.size()));
    }
    std::printf("image %d MiB, %d rounds per figure (median; 'vs bare' is the median of the per-round ratios),\n"
                "MB = 10^6 bytes of payload\n\n",
                nMiB, nRounds);
    std::printf("%-22s %-10s %9s %12s %11s %9s\n", "placement", "method", "MB/s", "CPU ms/MB", "peak MiB", "vs bare");

    struct Placement {
        const char* szName;
        int nToolCpu;
        int nResponderCpu;
    };
    for (Placement place : {Placement{"tool CPU0, board CPU1", 0, 1}, Placement{"both on CPU0", 0, 0}}) {
        FILE* pOut = nullptr;
        pid_t responder = Spawn({"transfer_bench", "--respond", std::to_string(place.nResponderCpu)}, &pOut);
        int nPort = 0;
        if (std::fscanf(pOut, "%d", &nPort) != 1)
            return 1;
        std::vector<double> rates[3], cpus[3], rss[3], frameRates;
        const char* modes[3] = {"bare", "poll", "transfer"};
        for (int r = 0; r < nRounds; ++r)
            for (int m = 0; m < 3; ++m) {
                Figures fig = Measure(modes[m], nPort, strPath, place.nToolCpu);
                double dMB = static_cast<double>(fig.nPayload) / 1e6;
                rates[m].push_back(dMB / fig.dSeconds);
                cpus[m].push_back(fig.dCpuSeconds * 1000.0 / dMB);
                rss[m].push_back(fig.dMaxRssMiB);
                if (m == 2)
                    frameRates.push_back(dMB / fig.dFramesSeconds);
            }
        const char* names[3] = {"bare loop", "bare+poll", "transfer"};
        // Each round's figures are taken back to back, so the ratio is formed per round.
        auto ratio = [&rates](const std::vector<double>& of) {
            std::vector<double> ratios;
            for (size_t r = 0; r < of.size(); ++r)
                ratios.push_back(100.0 * of[r] / rates[0][r]);
            return Median(ratios);
        };
        for (int m = 0; m < 3; ++m)
            std::printf("%-22s %-10s %9.1f %12.2f %11.1f %8.1f%%\n", place.szName, names[m], Median(rates[m]),
                        Median(cpus[m]), Median(rss[m]), ratio(rates[m]));
        std::printf("%-22s %-10s %9.1f %12s %11s %8.1f%%\n", place.szName, "  frames", Median(frameRates), "", "",
                    ratio(frameRates));
        kill(responder, SIGTERM);
        waitpid(responder, nullptr, 0);
        std::fclose(pOut);
    }
    unlink(strPath.c_str());
    rmdir(szDir);
    return 0;
}
