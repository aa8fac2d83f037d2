#include "station/system_serial_setup_probe.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace {

// Unix 98 pseudo-terminal slaves have the majors 136 to 143.
constexpr unsigned kPtyMajorFirst = 136;
constexpr unsigned kPtyMajorLast = 143;

bool GroupId(const std::string& strGroup, gid_t& nGid)
{
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* pFound = nullptr;
    if (getgrnam_r(strGroup.c_str(), &entry, buffer.data(), buffer.size(), &pFound) != 0 || !pFound)
        return false;
    nGid = pFound->gr_gid;
    return true;
}

}  // namespace

bool CSystemSerialSetupProbe::IsRoot() const { return geteuid() == 0; }

std::string CSystemSerialSetupProbe::UserName() const
{
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* pFound = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &pFound) == 0 && pFound)
        return pFound->pw_name;
    return std::to_string(geteuid());
}

bool CSystemSerialSetupProbe::HoldsGroup(const std::string& strGroup) const
{
    gid_t nGid = 0;
    if (!GroupId(strGroup, nGid))
        return false;
    if (getegid() == nGid)
        return true;
    const int nCount = getgroups(0, nullptr);
    if (nCount <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(nCount));
    const int nGot = getgroups(nCount, groups.data());
    for (int i = 0; i < nGot; ++i)
        if (groups[static_cast<size_t>(i)] == nGid)
            return true;
    return false;
}

bool CSystemSerialSetupProbe::ListedInGroup(const std::string& strGroup) const
{
    gid_t nGid = 0;
    if (!GroupId(strGroup, nGid))
        return false;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* pUser = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &pUser) != 0 || !pUser)
        return false;
    int nCount = 64;
    std::vector<gid_t> groups(static_cast<size_t>(nCount));
    if (getgrouplist(pUser->pw_name, pUser->pw_gid, groups.data(), &nCount) < 0) {
        groups.resize(static_cast<size_t>(nCount));
        if (getgrouplist(pUser->pw_name, pUser->pw_gid, groups.data(), &nCount) < 0)
            return false;
    }
    for (int i = 0; i < nCount; ++i)
        if (groups[static_cast<size_t>(i)] == nGid)
            return true;
    return false;
}

bool CSystemSerialSetupProbe::IsRunning(const std::string& strProgram) const
{
    DIR* pProc = opendir("/proc");
    if (!pProc)
        return false;
    bool bFound = false;
    while (struct dirent* pEntry = readdir(pProc)) {
        const std::string strPid = pEntry->d_name;
        if (strPid.empty() || strPid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream comm("/proc/" + strPid + "/comm");
        std::string strName;
        if (std::getline(comm, strName) && strName == strProgram) {
            bFound = true;
            break;
        }
    }
    closedir(pProc);
    return bFound;
}

bool CSystemSerialSetupProbe::Exists(const std::string& strPath) const
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0;
}

bool CSystemSerialSetupProbe::IsPseudoTerminal(const std::string& strPath) const
{
    struct stat info {};
    if (stat(strPath.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned nMajor = major(info.st_rdev);
    return nMajor >= kPtyMajorFirst && nMajor <= kPtyMajorLast;
}
