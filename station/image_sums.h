#pragma once
#include <string>
#include <vector>

#include "net/transfer_image.h"

// Digests of the images, as sha256sum writes them, in KX30T/系统安装/SHA256SUMS. When that file is
// present every image a job sends must be listed there and match.

struct ImageSum {
    std::string strSha256;   // 64 lower-case hexadecimal digits
    std::string strName;     // relative to the image folder, without a leading "./"
};

// One image's finding.
struct ImageSumCheck {
    std::string strName;
    bool bOk = false;
    std::string strDetail;   // "matches", or why not
};

struct ImageSumsReport {
    bool bPresent = false;              // the image folder has a SHA256SUMS
    bool bOk = true;                    // readable and every image matched; true when absent
    std::vector<ImageSumCheck> checks;  // one per image, when the file could be read
    std::string strError;               // the first failure, naming SHA256SUMS and the image
};

std::string ImageSumsPath(const std::string& strWorkDir);

// Reads sha256sum's lines "<digest>  <name>" or "<digest> *<name>"; blank lines and lines
// starting with '#' are skipped, a leading '\' marks a name with "\\" and "\n" escapes. False,
// with strError naming the line, for any other line or a name listed twice.
bool ParseImageSums(const std::string& strText, std::vector<ImageSum>& sums, std::string& strError);

// Compares each image's bytes with the digest strSumsPath lists for its name.
ImageSumsReport VerifyImageSums(const std::string& strSumsPath, const std::vector<TransferImage>& images);
