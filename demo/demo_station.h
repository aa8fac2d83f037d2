#pragma once
#include <string>
#include <vector>

// A working folder for the demo: configuration, sample images and stand-ins for the board files.
struct DemoImage {
    int nId;
    std::string strName;
    size_t nSize;
};

// The images the demo sends: several sizes, one a multiple of 1024, one empty.
std::vector<DemoImage> DemoImages();

// Writes the station into strDir; false with a reason when a file cannot be written.
bool WriteDemoStation(const std::string& strDir, std::string& strError);

// Compares what the board stored (<id>.bin in strStoreDir) with the images; one line per file.
bool CheckStoredImages(const std::string& strDir, const std::string& strStoreDir, std::string& strReport);
