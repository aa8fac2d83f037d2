#include "demo/demo_station.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "station/config_loader.h"

namespace fs = std::filesystem;

std::vector<DemoImage> DemoImages()
{
    return {{1, "VarroBoot-env.bin", 200000},
            {2, "kernel.bin", 2 * 1024 * 1024},
            {3, "rootfs.bin", 1234567},
            {4, "userdata.bin", 0}};
}

namespace {

// Reproducible contents, different for every image.
std::string SampleBytes(size_t nSize, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::string strBytes(nSize, '\0');
    for (char& c : strBytes)
        c = static_cast<char>(rng());
    return strBytes;
}

bool WriteFile(const fs::path& path, const std::string& strContent, std::string& strError)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out << strContent;
    if (!out.good()) {
        strError = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::string ReadFile(const fs::path& path, bool& bOk)
{
    std::ifstream in(path, std::ios::binary);
    bOk = in.good();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool WriteDemoStation(const std::string& strDir, std::string& strError)
{
    static const char* kSections[] = {"Startup", "Download", "UserProc", "INFO"};
    std::string strConfig = "; Sample station for the demo\r\n[COUNT]\r\ncount=4\r\n";
    std::vector<DemoImage> images = DemoImages();
    const fs::path imageDir = ImageFolderPath(strDir);
    for (size_t k = 0; k < images.size(); ++k) {
        const DemoImage& image = images[k];
        strConfig += std::string("[") + kSections[k] + "]\r\nid=" + std::to_string(image.nId) +
                     "\r\nname=" + image.strName + "\r\ntimeout=30\r\n";
        if (!WriteFile(imageDir / image.strName, SampleBytes(image.nSize, 100u + k), strError))
            return false;
    }
    return WriteFile(ConfigFilePath(strDir), strConfig, strError) &&
           WriteFile(imageDir / "ins.txt", "", strError) &&
           WriteFile(fs::path(strDir) / "tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin",
                     SampleBytes(6000, 7), strError) &&
           WriteFile(fs::path(strDir) / "tcl_lib/at91sam9x25-ek/VarroBoot.bin", SampleBytes(20000, 8), strError);
}

bool CheckStoredImages(const std::string& strDir, const std::string& strStoreDir, std::string& strReport)
{
    bool bAll = true;
    for (const DemoImage& image : DemoImages()) {
        bool bSent = false;
        bool bStored = false;
        std::string strSent = ReadFile(fs::path(ImageFolderPath(strDir)) / image.strName, bSent);
        std::string strStored = ReadFile(fs::path(strStoreDir) / (std::to_string(image.nId) + ".bin"), bStored);
        bool bSame = bSent && bStored && strSent == strStored;
        bAll = bAll && bSame;
        strReport += "demo: " + image.strName + " (" + std::to_string(image.nSize) + " bytes): " +
                     (bSame ? "stored byte for byte" : bStored ? "STORED COPY DIFFERS" : "NOT STORED") + "\n";
    }
    return bAll;
}
