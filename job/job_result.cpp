#include "job/job_result.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

const char* VerdictName(JobVerdict verdict)
{
    switch (verdict) {
    case JobVerdict::Installed:
        return "installed";
    case JobVerdict::Failed:
        return "failed";
    case JobVerdict::ChipRejected:
        return "chip_rejected";
    case JobVerdict::Stopped:
        return "stopped";
    case JobVerdict::Refused:
        break;
    }
    return "refused";
}

bool VerdictFromName(const std::string& strName, JobVerdict& verdict)
{
    for (JobVerdict one : {JobVerdict::Installed, JobVerdict::Failed, JobVerdict::ChipRejected, JobVerdict::Stopped,
                           JobVerdict::Refused})
        if (strName == VerdictName(one)) {
            verdict = one;
            return true;
        }
    return false;
}

const char* StageName(JobStage stage)
{
    switch (stage) {
    case JobStage::BringUp:
        return "bring-up";
    case JobStage::Console:
        return "console";
    case JobStage::Transfer:
        return "transfer";
    case JobStage::Prepare:
        break;
    }
    return "prepare";
}

bool StageFromName(const std::string& strName, JobStage& stage)
{
    for (JobStage one : {JobStage::Prepare, JobStage::BringUp, JobStage::Console, JobStage::Transfer})
        if (strName == StageName(one)) {
            stage = one;
            return true;
        }
    return false;
}

int ExitCodeOf(JobVerdict verdict)
{
    switch (verdict) {
    case JobVerdict::Installed:
        return 0;
    case JobVerdict::Failed:
    case JobVerdict::ChipRejected:
        return 1;
    case JobVerdict::Refused:
        return 2;
    case JobVerdict::Stopped:
        break;
    }
    return 3;
}

int ExitCodeOf(const JobResult& result)
{
    if (result.verdict == JobVerdict::Installed && (HasFlag(result, kFlagConflict) || HasFlag(result, kFlagUnrecorded)))
        return 4;
    return ExitCodeOf(result.verdict);
}

bool HasFlag(const JobResult& result, const char* szFlag)
{
    for (const std::string& strFlag : result.flags)
        if (strFlag == szFlag)
            return true;
    return false;
}

void AddFlag(JobResult& result, const char* szFlag)
{
    if (!HasFlag(result, szFlag))
        result.flags.emplace_back(szFlag);
}

std::string FlagsText(const std::vector<std::string>& flags)
{
    std::string strText;
    for (const std::string& strFlag : flags)
        strText += (strText.empty() ? "" : ",") + strFlag;
    return strText;
}

std::vector<std::string> FlagsFromText(const std::string& strText)
{
    std::vector<std::string> flags;
    size_t nStart = 0;
    while (nStart < strText.size()) {
        size_t nEnd = strText.find(',', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        if (nEnd > nStart)
            flags.push_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return flags;
}

std::string JobResultToJson(const JobResult& result)
{
    nlohmann::ordered_json images = nlohmann::ordered_json::array();
    for (const TransferImageResult& image : result.images)
        images.push_back({{"slot", image.nSlot},
                          {"id", image.nId},
                          {"name", image.strName},
                          {"size", image.nSize},
                          {"sha256", image.strSha256},
                          {"frames", image.nFrames},
                          {"resends", image.nResends},
                          {"stored", image.bStored}});
    char szChip[16];
    std::snprintf(szChip, sizeof szChip, "0x%08x", result.nChipId);
    nlohmann::ordered_json json = {
        {"verdict", VerdictName(result.verdict)},
        {"stage", StageName(result.stage)},
        {"reason", result.strReason},
        {"identity", {{"mac", result.identity.strMac}, {"factory", result.identity.strFactory},
                      {"reg", result.identity.strReg}}},
        {"station", result.strStation},
        {"port", result.nComPort > 0 ? "COM" + std::to_string(result.nComPort) : std::string()},
        {"device", result.strDevicePath},
        {"chip_id", result.bChipIdRead ? nlohmann::ordered_json(szChip) : nlohmann::ordered_json(nullptr)},
        {"start", result.strStartTime},
        {"end", result.strEndTime},
        {"stage_ms", {{"bring-up", result.nBringUpMs}, {"console", result.nConsoleMs},
                      {"transfer", result.nTransferMs}}},
        {"images", images},
        {"flags", result.flags},
    };
    // Texts that are not valid UTF-8 are replaced rather than failing the whole result.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

namespace {

// Readers of one field of a JSON object: a missing field leaves the value as it is; false when the
// field has another type or does not fit.
bool ReadText(const nlohmann::json& object, const char* szKey, std::string& strValue)
{
    auto it = object.find(szKey);
    if (it == object.end())
        return true;
    if (!it->is_string())
        return false;
    strValue = it->get<std::string>();
    return true;
}

template <typename T>
bool ReadNumber(const nlohmann::json& object, const char* szKey, T& nValue)
{
    auto it = object.find(szKey);
    if (it == object.end())
        return true;
    if (it->is_number_unsigned()) {
        const uint64_t nRead = it->get<uint64_t>();
        if (!std::in_range<T>(nRead))
            return false;
        nValue = static_cast<T>(nRead);
        return true;
    }
    if (!it->is_number_integer())
        return false;
    const int64_t nRead = it->get<int64_t>();
    if (!std::in_range<T>(nRead))
        return false;
    nValue = static_cast<T>(nRead);
    return true;
}

bool ReadBool(const nlohmann::json& object, const char* szKey, bool& bValue)
{
    auto it = object.find(szKey);
    if (it == object.end())
        return true;
    if (!it->is_boolean())
        return false;
    bValue = it->get<bool>();
    return true;
}

// "0x" and up to 8 hexadecimal digits.
bool ParseChipId(const std::string& strText, uint32_t& nChipId)
{
    if (strText.size() < 3 || strText[0] != '0' || (strText[1] != 'x' && strText[1] != 'X'))
        return false;
    const char* pEnd = strText.data() + strText.size();
    auto [pStop, error] = std::from_chars(strText.data() + 2, pEnd, nChipId, 16);
    return error == std::errc() && pStop == pEnd;
}

bool ReadImage(const nlohmann::json& json, TransferImageResult& image)
{
    return json.is_object() && ReadNumber(json, "slot", image.nSlot) && ReadNumber(json, "id", image.nId) &&
           ReadText(json, "name", image.strName) && ReadNumber(json, "size", image.nSize) &&
           ReadText(json, "sha256", image.strSha256) && ReadNumber(json, "frames", image.nFrames) &&
           ReadNumber(json, "resends", image.nResends) && ReadBool(json, "stored", image.bStored);
}

bool ReadResult(const nlohmann::json& json, JobResult& result)
{
    std::string strVerdict = VerdictName(result.verdict);
    std::string strStage = StageName(result.stage);
    std::string strPort;
    if (!json.is_object() || !ReadText(json, "verdict", strVerdict) || !VerdictFromName(strVerdict, result.verdict) ||
        !ReadText(json, "stage", strStage) || !StageFromName(strStage, result.stage) ||
        !ReadText(json, "reason", result.strReason) || !ReadText(json, "station", result.strStation) ||
        !ReadText(json, "port", strPort) || !ReadText(json, "device", result.strDevicePath) ||
        !ReadText(json, "start", result.strStartTime) || !ReadText(json, "end", result.strEndTime))
        return false;
    result.nComPort = strPort.size() > 3 ? std::atoi(strPort.c_str() + 3) : 0;
    if (auto it = json.find("identity"); it != json.end()) {
        JobIdentity& identity = result.identity;
        if (!it->is_object() || !ReadText(*it, "mac", identity.strMac) ||
            !ReadText(*it, "factory", identity.strFactory) || !ReadText(*it, "reg", identity.strReg))
            return false;
    }
    if (auto it = json.find("chip_id"); it != json.end() && !it->is_null()) {
        if (!it->is_string() || !ParseChipId(it->get<std::string>(), result.nChipId))
            return false;
        result.bChipIdRead = true;
    }
    if (auto it = json.find("stage_ms"); it != json.end())
        if (!it->is_object() || !ReadNumber(*it, "bring-up", result.nBringUpMs) ||
            !ReadNumber(*it, "console", result.nConsoleMs) || !ReadNumber(*it, "transfer", result.nTransferMs))
            return false;
    if (auto it = json.find("images"); it != json.end()) {
        if (!it->is_array())
            return false;
        for (const nlohmann::json& one : *it) {
            TransferImageResult image {};
            if (!ReadImage(one, image))
                return false;
            result.images.push_back(std::move(image));
        }
    }
    if (auto it = json.find("flags"); it != json.end()) {
        if (!it->is_array())
            return false;
        for (const nlohmann::json& one : *it) {
            if (!one.is_string())
                return false;
            result.flags.push_back(one.get<std::string>());
        }
    }
    return true;
}

}  // namespace

bool JobResultFromJson(const std::string& strJson, JobResult& result)
{
    result = JobResult{};
    try {
        nlohmann::json json = nlohmann::json::parse(strJson, nullptr, false);
        return !json.is_discarded() && ReadResult(json, result);
    } catch (const std::exception&) {
        return false;  // the type checks above leave nothing to throw; a parser surprise is a bad text too
    }
}
