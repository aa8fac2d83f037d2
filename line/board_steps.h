#pragma once
#include <optional>
#include <string>
#include <vector>

#include "job/job_request.h"
#include "station/file_entry.h"
#include "station/image_sums.h"
#include "station/station_settings.h"

// The steps a board's job needs before it starts, each in one place: the board run walks them in
// order, tovar check runs them without starting. Each gives false with the reason in words.

// The working folder is a station: it exists and holds KX30T/config.cfg.
bool CheckStationFolder(const std::string& strWorkDir, std::string& strWhy);

// The file table a job sends from: the station's config.cfg (its warnings go to strLog), or a
// table the front end keeps (the window's, with its Advanced choice).
struct BoardFileTable {
    FileEntry files[FILE_TABLE_SLOTS];
    int nFileCount = -1;
};

// Loads the table unless one is given, applies select (file-table slots; empty: as configured)
// and checks the selected entries. strEntryLog receives the entries' refusal lines ("->..."),
// strWhy the first of them in words.
bool LoadBoardFiles(const StationSettings& station, const std::optional<BoardFileTable>& given,
                    const std::vector<int>& select, BoardFileTable& table, std::string& strLog,
                    std::string& strEntryLog, std::string& strWhy);

// Every selected image is a readable file of at most MAX_IMAGE_SIZE bytes (an empty one is sent
// as one frame of no bytes).
// pDetail, when given, receives one finding per image.
struct ImageFinding {
    std::string strName;
    bool bOk = false;
    std::string strDetail;
};
bool CheckImagesReadable(const std::vector<TransferImage>& images, std::string& strWhy,
                         std::vector<ImageFinding>* pFindings = nullptr);

// With a SHA256SUMS in the image folder every image must be listed and match; a match adds a log line.
bool CheckImageDigests(const StationSettings& station, const std::vector<TransferImage>& images,
                       ImageSumsReport& report, std::string& strLog, std::string& strWhy);

// The board's serial port: strPort ("COM3" or a device path) through the station's map, or
// nComPort when the monitor's number is known. The device must be among those found and open
// as a job opens it. bListed: the front end chose it among the listed devices (the window),
// where a device without a path is the in-process monitor's and is not probed.
// fnPath, when given, gives the device path instead of the station's map.
bool ResolveBoardPort(const StationSettings& station, const std::string& strPort, int nComPort, bool bListed,
                      const PortResolver& fnPath, ComPortEntry& port, std::string& strWhy);

// True when one of the images is the install manifest ins.txt (its name in any case).
bool SendsManifest(const std::vector<TransferImage>& images);

// Points the request's ins.txt entry (the image named ins.txt, in any case) at strPath and
// measures it there anew, so a manifest written after the images were measured is sent as it is now.
void PointInsTxtAt(std::vector<TransferImage>& images, const std::string& strPath);
