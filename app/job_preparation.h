#pragma once
#include <string>
#include <vector>

#include "app/commands.h"
#include "job/job_request.h"

// The parts of a command's request that come from the station: working folder, transfer
// settings, and the images from the configuration and --select. False, with strWhy, when the job
// must be refused: no working folder, no readable configuration, a slot that does not exist, or a
// selection that cannot be installed. files receives the loaded file table (for the manifest).
// Configuration warnings are added to strLog; pnFileCount, when given, receives the configuration's count.
bool PrepareStationRequest(const CommonOptions& station, const std::vector<int>& select, JobRequest& request,
                           FileEntry files[FILE_TABLE_SLOTS], std::string& strWhy, std::string& strLog,
                           int* pnFileCount = nullptr);

// Refuses the request's images when the image folder's SHA256SUMS does not vouch for every one;
// adds a log line when it does. True when there is no SHA256SUMS.
bool CheckImageSums(const CommonOptions& station, const JobRequest& request, std::string& strWhy, std::string& strLog);

// Points the request's ins.txt entry (the image named ins.txt, in any case) at strPath and measures
// it there anew, so a manifest written after the images were measured is sent as it is now.
void PointInsTxtAt(std::vector<TransferImage>& images, const std::string& strPath);
