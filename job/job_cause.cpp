#include "job/job_cause.h"

#include <array>

namespace {

// The operator's next steps, in the words the line uses.
constexpr const char* kReseat = "请重新放置电路板后重试";
constexpr const char* kSetAside = "请将电路板放到不良品区";

constexpr std::array<JobCauseText, 26> kTable = {{
    {JobCause::None, "", "", "", ""},
    {JobCause::Busy, "busy", "the previous job has not ended yet", "上一块板尚未结束", "请等上一块板结束后再开始"},
    {JobCause::NoRecord, "no-record", "identities from the pools need the production record", "没有生产记录, 无法自动编号",
     "请联系工程师: 检查生产记录的设置"},
    {JobCause::PoolEmpty, "pool", "the pools gave no identity", "号码池已用完",
     "请联系工程师: 向号码池添加号码"},
    {JobCause::IdentityChars, "identity-chars", "the identity holds characters that code page 936 cannot carry",
     "身份信息含有无法转换的字符", "请检查 MAC ID、出厂编号和注册编号后重试"},
    {JobCause::IdentityForm, "identity-form", "the identity's form is wrong", "身份信息格式不正确",
     "请检查 MAC ID、出厂编号和注册编号后重试"},
    {JobCause::IdentityRefused, "identity-refused", "the identity was refused (see the log)",
     "身份信息被拒绝 (格式不对或已被使用)", "请换一组号码; 如有疑问请联系工程师"},
    {JobCause::ReflashDeclined, "reflash-declined", "a re-flash of an installed board was not confirmed",
     "此板已安装过, 未确认重新安装", "如需重新安装请确认; 否则请换下一块板"},
    {JobCause::BoardFiles, "board-files", "the configuration gives no images to install", "镜像配置有误",
     "请联系工程师: 检查 config.cfg 和镜像文件"},
    {JobCause::ImageDigest, "image-digest", "an image does not match its recorded digest", "镜像文件与校验值不符",
     "请联系工程师: 镜像文件已被改动"},
    {JobCause::ManifestIdentity, "manifest-identity", "ins.txt is sent only with this board's identity",
     "发送 ins.txt 需要本板的身份信息", "请填写身份信息, 或不选 ins.txt"},
    {JobCause::Port, "port", "the board's port cannot be used", "串口不可用", "请检查串口线是否插好, 并选择正确的 COM 口"},
    {JobCause::ManifestWrite, "manifest-write", "ins.txt was not written; nothing was sent", "身份文件未写入, 未开始下载",
     "请联系工程师: 检查镜像文件夹是否可写"},
    {JobCause::ImageUnreadable, "image-unreadable", "an image is missing or cannot be read", "镜像文件缺失或无法读取",
     "请联系工程师: 检查镜像文件"},
    {JobCause::Engine, "engine", "the job engine did not take the job", "下载程序未能开始", "请重启 Tovar; 如仍不行请联系工程师"},
    {JobCause::ChipRejected, "chip", "the chip is not a SAM9X25", "芯片型号不符", kSetAside},
    {JobCause::BringUp, "bring-up", "the boot monitor bring-up failed", "引导失败", "请检查串口线是否插好, 重新放置电路板后重试"},
    {JobCause::Console, "console", "the boot loader's console did not answer", "控制台无应答",
     "请检查串口线和电源, 重新放置电路板后重试"},
    {JobCause::NotStored, "not-stored", "the board did not store an image", "镜像存储失败",
     "请重新放置电路板后重试; 再次失败请将电路板放到不良品区"},
    {JobCause::TransferBroken, "transfer-broken", "the transfer broke off", "下载中断", "请检查网线是否插好, 重新放置电路板后重试"},
    {JobCause::TimeLimit, "time-limit", "the job did not finish within its time limit", "安装超时", kReseat},
    {JobCause::Stopped, "stopped", "stopped by the operator", "已由操作员终止", "如需安装, 请重新开始"},
    {JobCause::StopUnanswered, "stop-unanswered", "the job did not end after it was stopped", "下载程序未响应终止",
     "请重启 Tovar; 如仍不行请联系工程师"},
    {JobCause::Closed, "closed", "the program was closed during the job", "安装中程序被关闭", kReseat},
    {JobCause::Partial, "partial", "fewer images were installed than the configuration names",
     "安装的镜像少于配置",
     "请确认是否有意少装镜像; 否则请联系工程师"},
    {JobCause::RecordAway, "record-away", "the production record does not answer", "生产记录无响应",
     "电路板可留在原位, 稍后重试; 如持续请联系工程师: 检查数据库和网络"},
}};

static_assert(kTable.back().cause == JobCause::RecordAway, "one row per cause, in order");

}  // namespace

std::span<const JobCauseText> CauseTable() { return kTable; }

const JobCauseText& CauseText(JobCause cause)
{
    const size_t nIndex = static_cast<size_t>(cause);
    return nIndex < kTable.size() ? kTable[nIndex] : kTable[0];
}

std::string CauseCode(const char* szStage, JobCause cause)
{
    if (cause == JobCause::None)
        return {};
    return std::string(szStage) + "." + CauseText(cause).szName;
}

bool CauseFromCode(const std::string& strCode, JobCause& cause)
{
    const size_t nDot = strCode.rfind('.');
    const std::string strName = nDot == std::string::npos ? strCode : strCode.substr(nDot + 1);
    for (const JobCauseText& row : kTable)
        if (strName == row.szName) {
            cause = row.cause;
            return true;
        }
    return false;
}
