// The boot monitor's part of a bring-up (connect, chip identifier, the low-level init applet and
// the boot loader, each loaded, given its arguments, run and its mailbox read) against the virtual
// board through an emulated line: the serial line at 115200 8N1 straight on a UART and behind a
// USB-serial adapter's 16 ms latency timer, and the USB port. Each time is shown beside the wire's
// limit for the bytes that went each way (and the adapter's timer flushes).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "bench/serial_relay.h"
#include "samba/monitor_backend.h"
#include "samba/monitor_error.h"
#include "sim/virtual_board.h"

namespace {

constexpr int32_t RUN = 0x300000;

struct Case {
    const char* szName;
    LineTiming timing;
    bool bUsb;
};

struct Figures {
    double dSeconds = 0;
    double dLimitS = 0;
    uint64_t nOut = 0, nIn = 0, nFlushes = 0;
};

std::vector<uint8_t> Random(size_t nSize, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::vector<uint8_t> vec(nSize);
    for (auto& c : vec)
        c = static_cast<uint8_t>(rng());
    return vec;
}

// One applet: block, arguments, a zero command, run, command and status words.
bool RunApplet(IAt91Backend& monitor, int32_t hDevice, const std::vector<uint8_t>& image,
               const std::vector<std::pair<int32_t, int32_t>>& args, std::string& strWhy)
{
    int32_t nError = 0, nValue = 0;
    auto fail = [&](const char* szWhat) {
        strWhy = std::string(szWhat) + ": " + MonitorErrorText(nError);
        return false;
    };
    monitor.WriteBlock(hDevice, RUN, image.data(), static_cast<int32_t>(image.size()), nError);
    if (nError != 0)
        return fail("block");
    for (auto [nAddress, nWord] : args) {
        monitor.WriteWord(hDevice, nWord, nAddress, nError);
        if (nError != 0)
            return fail("word");
    }
    monitor.WriteWord(hDevice, 0, 0x300004, nError);
    monitor.Jump(hDevice, RUN, nError);
    if (nError != 0)
        return fail("jump");
    monitor.ReadWord(hDevice, nValue, 0x300004, nError);
    monitor.ReadWord(hDevice, nValue, 0x300008, nError);
    if (nError != 0 || nValue != 0)
        return fail("status");
    return true;
}

bool Measure(const Case& c, const std::vector<uint8_t>& applet, const std::vector<uint8_t>& boot, Figures& figures)
{
    BoardConfig config;
    config.bTransfer = false;
    config.bUsbMonitor = c.bUsb;
    CVirtualBoard board(config);
    std::string strError;
    if (!board.Start(strError)) {
        std::fprintf(stderr, "serial_line_bench: %s\n", strError.c_str());
        return false;
    }
    CSerialRelay relay(c.bUsb ? board.UsbTtyPath() : board.TtyPath(), c.timing);
    if (!relay.Start(strError)) {
        std::fprintf(stderr, "serial_line_bench: %s\n", strError.c_str());
        return false;
    }
    const std::string strNear = relay.NearPath();
    CMonitorBackend monitor([&](int) { return strNear; }, {}, SystemClock());
    if (c.bUsb)
        monitor.SetUsbLink(5000);
    const int32_t nLink = c.bUsb ? 0 : 1;
    const auto tStart = std::chrono::steady_clock::now();
    int32_t hDevice = 0, nError = 0, nValue = 0;
    monitor.OpenDevice(c.bUsb ? strNear.c_str() : "COM1", hDevice);
    if (hDevice == 0) {
        std::fprintf(stderr, "serial_line_bench: %s: %s\n", c.szName, monitor.LastOpenError().c_str());
        return false;
    }
    monitor.ReadWord(hDevice, nValue, static_cast<int32_t>(0xFFFFF240), nError);
    if (!RunApplet(monitor, hDevice, applet, {{0x30000C, nLink}, {0x300014, 0}}, strError) ||
        !RunApplet(monitor, hDevice, boot, {{0x30000C, nLink}, {0x300014, 1}, {0x300018, 0}, {0x30001C, 16}, {0x300020, 0}},
                   strError)) {
        std::fprintf(stderr, "serial_line_bench: %s: %s\n", c.szName, strError.c_str());
        return false;
    }
    figures.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    monitor.CloseDevice(hDevice);
    figures.dLimitS = relay.WireLimitS();
    figures.nOut = relay.BytesOut();
    figures.nIn = relay.BytesIn();
    figures.nFlushes = relay.TimerFlushes();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Bring-up over an emulated serial line and over the USB port, beside the wire's limit"};
    int nAppletKib = 6, nBootKib = 20, nRounds = 3;
    app.add_option("--applet-kib", nAppletKib, "Size of the low-level init applet")->capture_default_str();
    app.add_option("--boot-kib", nBootKib, "Size of the boot loader")->capture_default_str();
    int nSerialBytesPerS = 11520;
    app.add_option("--serial-bytes-per-s", nSerialBytesPerS, "The serial line's rate (11520: 115200 baud, 8N1)")
        ->capture_default_str();
    app.add_option("--rounds", nRounds, "Runs per line (the median is shown)")->check(CLI::Range(1, 20))->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    const std::vector<uint8_t> applet = Random(static_cast<size_t>(nAppletKib) * 1024, 1);
    const std::vector<uint8_t> boot = Random(static_cast<size_t>(nBootKib) * 1024, 2);
    // The USB port: a full-speed bulk endpoint at about 1 MB/s, answers in the next 1 ms frame.
    const Case cases[] = {
        {"serial, UART", {nSerialBytesPerS, 0, 62}, false},
        {"serial, adapter 16 ms", {nSerialBytesPerS, 16, 62}, false},
        {"USB port", {1000000, 1, 64}, true},
    };
    std::printf("bring-up of a %d KiB applet and a %d KiB boot loader, serial line %d bytes/s, median of %d rounds\n",
                nAppletKib, nBootKib, nSerialBytesPerS, nRounds);
    std::printf("%-30s  %8s  %10s  %9s  %9s  %9s  %8s\n", "line", "time s", "wire lim s", "of limit", "bytes out",
                "bytes in", "flushes");
    for (const Case& c : cases) {
        std::vector<Figures> runs;
        for (int i = 0; i < nRounds; ++i) {
            Figures figures;
            if (!Measure(c, applet, boot, figures))
                return 1;
            runs.push_back(figures);
        }
        std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) { return a.dSeconds < b.dSeconds; });
        const Figures& m = runs[runs.size() / 2];
        std::printf("%-30s  %8.3f  %10.3f  %8.1f%%  %9llu  %9llu  %8llu\n", c.szName, m.dSeconds, m.dLimitS,
                    100.0 * m.dLimitS / m.dSeconds, static_cast<unsigned long long>(m.nOut),
                    static_cast<unsigned long long>(m.nIn), static_cast<unsigned long long>(m.nFlushes));
        std::fflush(stdout);
    }
    return 0;
}
