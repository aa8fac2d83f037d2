// A gang station against virtual boards, each a tovar-board process of its own: for each slot count,
// one board per slot with the same images and settle pause, the wall time from the start to the last
// recorded result, the boards per hour that gives, the transfer rate of all slots together (image
// bytes over the span from the first transfer stage's start to the last result, less the settle
// pause), and this process's own CPU time and context switches per board (the boards' are theirs).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "demo/board_process.h"
#include "line/gang_station.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void WriteRandom(const fs::path& path, size_t nBytes, uint32_t nSeed)
{
    fs::create_directories(path.parent_path());
    std::string strBytes(nBytes, '\0');
    std::mt19937 random(nSeed);
    for (char& c : strBytes)
        c = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << strBytes;
}

// The working folder: three images of nTotal bytes in all, ins.txt as the fourth, the board files.
void WriteStation(const fs::path& dir, size_t nTotal)
{
    fs::create_directories(dir / "KX30T");
    std::ofstream(dir / "KX30T/config.cfg")
        << "[COUNT]\r\ncount=4\r\n[Startup]\r\nid=1\r\nname=boot.bin\r\n[Download]\r\nid=2\r\nname=kernel.bin\r\n"
           "[UserProc]\r\nid=3\r\nname=rootfs.bin\r\n[INFO]\r\nid=4\r\nname=ins.txt\r\n";
    const fs::path images = dir / "KX30T/系统安装";
    WriteRandom(images / "boot.bin", nTotal / 16, 1);
    WriteRandom(images / "kernel.bin", nTotal / 2, 2);
    WriteRandom(images / "rootfs.bin", nTotal - nTotal / 16 - nTotal / 2, 3);
    WriteRandom(images / "ins.txt", 1024, 4);
    WriteRandom(dir / "tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", 6000, 5);
    WriteRandom(dir / "tcl_lib/at91sam9x25-ek/VarroBoot.bin", 20000, 6);
}

// Keeps when the first transfer began and what each board sent.
class CBenchObserver : public IGangObserver {
public:
    void OnSlotLog(int, const std::string&) override {}
    void OnSlotStage(int, JobStage stage) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (stage == JobStage::BringUp)
            m_tLastBringUp = Clock::now();
        if (stage == JobStage::Transfer && !m_bTransferStarted) {
            m_bTransferStarted = true;
            m_tFirstTransfer = Clock::now();
        }
    }
    void OnSlotResult(int, const JobResult& result) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_tLastResult = Clock::now();
        m_Results.push_back(result);
    }

    std::mutex m_Mutex;
    bool m_bTransferStarted = false;
    Clock::time_point m_tFirstTransfer;
    Clock::time_point m_tLastResult;
    Clock::time_point m_tLastBringUp;   // when the last slot's job began
    std::vector<JobResult> m_Results;
};

struct Figures {
    double dWallS = 0;
    double dBoardsPerHour = 0;
    double dAggregateMBps = 0;
    double dCpuMsPerBoard = 0;     // this process's user+system time
    double dSwitchesPerBoard = 0;  // its voluntary and involuntary context switches
    double dBringUpS = 0, dConsoleS = 0, dTransferS = 0;  // the stages, the mean of the boards
    double dStartSpreadS = 0;      // from the start until the last slot's job began
    double dSlowestS = 0;          // the longest job (its three stages)
    double dResendsPerBoard = 0;   // datagrams sent again after a reply did not come in time
    int nInstalled = 0;
};

struct BenchOptions {
    size_t nTotal = 0;
    int nSettleMs = 500;
    int nLateMs = 0;
    std::string strBoard;
};

double CpuMs(const rusage& usage)
{
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool RunGang(int nSlots, const BenchOptions& options, Figures& figures)
{
    const size_t nTotal = options.nTotal;
    const int nSettleMs = options.nSettleMs;
    const fs::path dir = fs::temp_directory_path() / ("tovar-gang-bench-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteStation(dir, nTotal);
    CStationRecord record;
    RecordSettings recordSettings;
    recordSettings.strWorkDir = dir.string();
    recordSettings.strStation = "bench";
    std::string strWhy;
    if (!record.Open(recordSettings, strWhy) || !record.Record()->AddPool("macs", "58:76:75:02:00:00", 100, strWhy) ||
        !record.Record()->AddPool("factory", "30000001", 100, strWhy) ||
        !record.Record()->AddPool("reg", "6A000001", 100, strWhy)) {
        std::fprintf(stderr, "gang_bench: %s\n", strWhy.c_str());
        return false;
    }
    std::vector<std::unique_ptr<CBoardProcess>> boards;
    std::vector<StationSlot> slots;
    for (int k = 1; k <= nSlots; ++k) {
        const std::string strStore = (dir / ("store" + std::to_string(k))).string();
        fs::create_directories(strStore);
        boards.push_back(std::make_unique<CBoardProcess>());
        if (!boards.back()->Start(options.strBoard,
                                  {"--udp-port", "0", "--store-dir", strStore, "--quiet", "--late-ms",
                                   std::to_string(options.nLateMs), "--idle-exit-s", "120"},
                                  5000, strWhy)) {
            std::fprintf(stderr, "gang_bench: %s\n", strWhy.c_str());
            return false;
        }
        StationSlot slot;
        slot.nSlot = k;
        slot.strPort = boards.back()->TtyPath();
        slot.nBoardPort = boards.back()->UdpPort();
        slot.nLocalPort = 0;
        slot.nSettleMs = nSettleMs;
        slots.push_back(slot);
    }
    StationSettings station;
    station.strWorkDir = dir.string();
    station.strBoardIp = "127.0.0.1";
    std::vector<GangSlotSetup> setups;
    if (!CGangStation::PlanSlots(station, slots, setups, strWhy)) {
        std::fprintf(stderr, "gang_bench: %s\n", strWhy.c_str());
        return false;
    }
    CBenchObserver observer;
    rusage before {}, after {};
    getrusage(RUSAGE_SELF, &before);
    const Clock::time_point t0 = Clock::now();
    {
        CGangStation gang(observer, record);
        if (!gang.Start(setups, GangSettings{}, strWhy) || !gang.WaitEnded(600000)) {
            std::fprintf(stderr, "gang_bench: %s\n", strWhy.empty() ? "the gang did not end" : strWhy.c_str());
            return false;
        }
    }
    getrusage(RUSAGE_SELF, &after);
    figures.dCpuMsPerBoard = (CpuMs(after) - CpuMs(before)) / nSlots;
    figures.dSwitchesPerBoard = static_cast<double>(after.ru_nvcsw + after.ru_nivcsw - before.ru_nvcsw - before.ru_nivcsw) / nSlots;
    uint64_t nBytes = 0;
    for (const JobResult& result : observer.m_Results) {
        figures.nInstalled += result.verdict == JobVerdict::Installed ? 1 : 0;
        figures.dBringUpS += static_cast<double>(result.nBringUpMs) / 1e3 / nSlots;
        figures.dConsoleS += static_cast<double>(result.nConsoleMs) / 1e3 / nSlots;
        figures.dTransferS += static_cast<double>(result.nTransferMs) / 1e3 / nSlots;
        figures.dSlowestS = std::max(figures.dSlowestS,
                                     static_cast<double>(result.nBringUpMs + result.nConsoleMs + result.nTransferMs) / 1e3);
        for (const TransferImageResult& image : result.images) {
            nBytes += image.nSize;
            figures.dResendsPerBoard += static_cast<double>(image.nResends) / nSlots;
        }
    }
    figures.dWallS = std::chrono::duration<double>(observer.m_tLastResult - t0).count();
    figures.dStartSpreadS = std::chrono::duration<double>(observer.m_tLastBringUp - t0).count();
    figures.dBoardsPerHour = nSlots * 3600.0 / figures.dWallS;
    // The settle pause sends nothing; the slots start their transfers within milliseconds of each other.
    const double dTransferS =
        std::chrono::duration<double>(observer.m_tLastResult - observer.m_tFirstTransfer).count() - nSettleMs / 1000.0;
    figures.dAggregateMBps = static_cast<double>(nBytes) / 1e6 / dTransferS;
    boards.clear();
    fs::remove_all(dir);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Gang station figures against virtual boards (tovar-board processes)"};
    double dMib = 16;
    int nRounds = 3;
    std::vector<int> slotCounts = {1, 2, 4};
    BenchOptions options;
    options.strBoard = CBoardProcess::ProgramBesideSelf();
    if (!fs::exists(options.strBoard))
        options.strBoard = fs::path(options.strBoard).parent_path().parent_path() / "tovar-board";
    app.add_option("--mib", dMib, "Image bytes per board, MiB")->check(CLI::Range(0.1, 64.0))->capture_default_str();
    app.add_option("--settle-ms", options.nSettleMs, "Settle pause of each job")
        ->check(CLI::NonNegativeNumber)->capture_default_str();
    app.add_option("--late-ms", options.nLateMs, "The boards delay every reply this long (1: about 1 MB/s each)")
        ->check(CLI::NonNegativeNumber)->capture_default_str();
    app.add_option("--slots", slotCounts, "Slot counts to measure, e.g. 1,8,24,48")
        ->delimiter(',')->check(CLI::Range(1, STATION_SLOT_MAX));
    app.add_option("--rounds", nRounds, "Runs per slot count (the median is shown)")->check(CLI::Range(1, 20))->capture_default_str();
    app.add_option("--board", options.strBoard, "The tovar-board program")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    options.nTotal = static_cast<size_t>(dMib * (1 << 20));

    std::printf("images %.1f MiB per board, settle %d ms, replies %d ms late, median of %d rounds\n", dMib,
                options.nSettleMs, options.nLateMs, nRounds);
    std::printf("%5s  %8s  %7s  %11s  %9s  %9s  %9s  %17s  %12s  %9s  %10s  %9s\n", "slots", "wall s", "vs one",
                "boards/hour", "agg MB/s", "CPU ms/bd", "switch/bd", "bring/cons/xfer s", "last start s", "slowest s",
                "resend/bd", "installed");
    double dOneS = 0;
    for (int nSlots : slotCounts) {
        std::vector<Figures> runs;
        for (int i = 0; i < nRounds; ++i) {
            Figures figures;
            if (!RunGang(nSlots, options, figures))
                return 1;
            runs.push_back(figures);
        }
        std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) { return a.dWallS < b.dWallS; });
        const Figures& median = runs[runs.size() / 2];
        if (nSlots == 1)
            dOneS = median.dWallS;
        std::printf("%5d  %8.2f  %6.2fx  %11.0f  %9.1f  %9.1f  %9.0f  %5.2f/%4.2f/%5.2f  %12.2f  %9.2f  %10.1f  %6d/%d\n",
                    nSlots, median.dWallS, dOneS > 0 ? median.dWallS / dOneS : 0.0, median.dBoardsPerHour,
                    median.dAggregateMBps, median.dCpuMsPerBoard, median.dSwitchesPerBoard, median.dBringUpS,
                    median.dConsoleS, median.dTransferS, median.dStartSpreadS, median.dSlowestS,
                    median.dResendsPerBoard, median.nInstalled, nSlots);
        std::fflush(stdout);
    }
    return 0;
}
