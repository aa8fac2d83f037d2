#include "job/job_result.h"

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>

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

std::string IsoTimeNow()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    int nMs = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm parts {};
    gmtime_r(&t, &parts);
    char szText[40];
    std::strftime(szText, sizeof szText, "%Y-%m-%dT%H:%M:%S", &parts);
    char szFull[48];
    std::snprintf(szFull, sizeof szFull, "%s.%03dZ", szText, nMs);
    return szFull;
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
    };
    // Texts that are not valid UTF-8 are replaced rather than failing the whole result.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool JobResultFromJson(const std::string& strJson, JobResult& result)
{
    nlohmann::json json = nlohmann::json::parse(strJson, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return false;
    result = JobResult{};
    const std::string strVerdict = json.value("verdict", "");
    for (JobVerdict v : {JobVerdict::Installed, JobVerdict::Failed, JobVerdict::ChipRejected, JobVerdict::Stopped,
                         JobVerdict::Refused})
        if (strVerdict == VerdictName(v))
            result.verdict = v;
    const std::string strStage = json.value("stage", "");
    for (JobStage s : {JobStage::Prepare, JobStage::BringUp, JobStage::Console, JobStage::Transfer})
        if (strStage == StageName(s))
            result.stage = s;
    result.strReason = json.value("reason", "");
    if (json.contains("identity") && json["identity"].is_object()) {
        const nlohmann::json& identity = json["identity"];
        result.identity = {identity.value("mac", ""), identity.value("factory", ""), identity.value("reg", "")};
    }
    result.strStation = json.value("station", "");
    const std::string strPort = json.value("port", "");
    result.nComPort = strPort.size() > 3 ? std::atoi(strPort.c_str() + 3) : 0;
    result.strDevicePath = json.value("device", "");
    if (json.contains("chip_id") && json["chip_id"].is_string()) {
        result.bChipIdRead = true;
        result.nChipId = static_cast<uint32_t>(std::stoul(json["chip_id"].get<std::string>(), nullptr, 16));
    }
    result.strStartTime = json.value("start", "");
    result.strEndTime = json.value("end", "");
    if (json.contains("stage_ms") && json["stage_ms"].is_object()) {
        result.nBringUpMs = json["stage_ms"].value("bring-up", int64_t{0});
        result.nConsoleMs = json["stage_ms"].value("console", int64_t{0});
        result.nTransferMs = json["stage_ms"].value("transfer", int64_t{0});
    }
    if (json.contains("images") && json["images"].is_array())
        for (const nlohmann::json& image : json["images"])
            result.images.push_back({image.value("slot", 0), image.value("id", 0), image.value("name", ""),
                                     image.value("size", uint64_t{0}), image.value("sha256", ""),
                                     image.value("frames", 0u), image.value("resends", 0u), image.value("stored", false)});
    return true;
}
