#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "demo/board_process.h"
#include "demo/cmd_demo.h"
#include "cli/cmd_gang.h"
#include "demo/demo_station.h"
#include "line/record_options.h"

namespace {

constexpr int kDemoSettleMs = 500;
constexpr int kPoolSize = 100;

// tovar.cfg of the demo's gang: one slot per virtual board, by its pseudo-terminal and UDP port.
bool WriteGangConfig(const std::string& strDir, const std::vector<std::unique_ptr<CBoardProcess>>& boards)
{
    std::ofstream file(strDir + "/tovar.cfg");
    file << "[net]\nboard-ip=127.0.0.1\nlocal-port=0\nsettle-ms=" << kDemoSettleMs << "\n";
    for (size_t k = 0; k < boards.size(); ++k)
        file << "[slot" << k + 1 << "]\nport=" << boards[k]->TtyPath() << "\nboard-port=" << boards[k]->UdpPort() << "\n";
    return static_cast<bool>(file.flush());
}

// Pools for the demo's boards in the station's record.
bool FillPools(const CommonOptions& station, std::string& strWhy)
{
    CStationRecord record;
    return OpenStationRecord(station, record, strWhy) &&
           record.Record()->AddPool("macs", "58:76:75:01:07:00", kPoolSize, strWhy) &&
           record.Record()->AddPool("factory", "20261207", kPoolSize, strWhy) &&
           record.Record()->AddPool("reg", "5A3C0400", kPoolSize, strWhy);
}

}  // namespace

int RunDemoGang(const CommonOptions& options, const DemoOptions& demo)
{
    std::string strDir;
    if (!MakeDemoFolder(strDir))
        return 2;
    std::vector<std::unique_ptr<CBoardProcess>> boards;
    std::string strError;
    bool bReady = true;
    for (int k = 1; k <= demo.nGangSlots && bReady; ++k) {
        const std::string strStore = strDir + "/board-store" + std::to_string(k);
        std::filesystem::create_directories(strStore);
        std::vector<std::string> args = {"--udp-port", "0", "--store-dir", strStore, "--quiet", "--idle-exit-s", "600"};
        args.insert(args.end(), demo.boardArgs.begin(), demo.boardArgs.end());
        boards.push_back(std::make_unique<CBoardProcess>());
        bReady = boards.back()->Start(CBoardProcess::ProgramBesideSelf(), args, 5000, strError);
    }
    CommonOptions station = options;
    station.strWorkDir = strDir;
    if (bReady && !WriteGangConfig(strDir, boards)) {
        strError = "cannot write " + strDir + "/tovar.cfg";
        bReady = false;
    }
    bReady = bReady && FillPools(station, strError);
    if (!bReady) {
        std::cerr << "tovar demo: " << strError << "\n";
        boards.clear();
        std::filesystem::remove_all(strDir);
        return 2;
    }
    std::cout << "demo: working folder " << strDir << "\n";
    for (size_t k = 0; k < boards.size(); ++k)
        std::cout << "demo: slot " << k + 1 << ": virtual board on " << boards[k]->TtyPath() << ", UDP 127.0.0.1:"
                  << boards[k]->UdpPort() << "\n";

    int nStatus = 0;
    if (demo.bGui) {
        nStatus = ApplyStationConfig(station, strError) ? RunDemoWindow(station, demo, true, nullptr) : 2;
        if (nStatus == 2 && !strError.empty())
            std::cerr << "tovar demo: " << strError << "\n";
    } else {
        GangOptions gang;
        gang.bNext = true;
        gang.nJobTimeoutS = 120;
        nStatus = RunGang(station, gang);
    }
    for (auto& pBoard : boards)
        pBoard->Stop();

    bool bAllStored = true;
    for (int k = 1; k <= demo.nGangSlots; ++k) {
        std::string strReport;
        bAllStored = CheckStoredImages(strDir, strDir + "/board-store" + std::to_string(k), strReport) && bAllStored;
        std::cout << "demo: board " << k << ":\n" << strReport;
    }
    return EndDemo(strDir, demo.bKeep, nStatus == 0 && bAllStored, "every board stored every image intact");
}
