#include "web/line_texts.h"

#include <nlohmann/json.hpp>

namespace {

struct Text {
    const char* szKey;
    const char* szText;
};

constexpr Text kTexts[] = {
    {"title", "产线看板 (line view)"},
    {"nav_now", "产线现状"},
    {"nav_failures", "失败分析 (failures)"},
    {"nav_board", "单板查询 (board)"},
    {"nav_export", "导出 CSV"},
    {"station", "工位 (station)"},
    {"slot", "槽位 (slot)"},
    {"port", "端口 (port)"},
    {"stage", "阶段 (stage)"},
    {"identity", "身份 (MAC / 出厂编号 / 注册编号)"},
    {"progress", "进度"},
    {"in_stage", "本阶段"},
    {"seconds", "秒"},
    {"last_seen", "最后心跳"},
    {"seconds_ago", "秒前"},
    {"last_verdict", "上次结果"},
    {"stage_idle", "空闲 (idle)"},
    {"stage_waiting", "等待单板 (waiting)"},
    {"stage_prepare", "准备 (prepare)"},
    {"stage_bring-up", "启动 (bring-up)"},
    {"stage_console", "控制台 (console)"},
    {"stage_transfer", "传输 (transfer)"},
    {"stage_ended", "已结束 (ended)"},
    {"stage_offline", "离线 (offline)"},
    {"state_stuck", "卡住 (stuck)"},
    {"verdict_installed", "成功"},
    {"verdict_failed", "失败"},
    {"verdict_chip-rejected", "芯片不符 (chip rejected)"},
    {"verdict_stopped", "已停止"},
    {"verdict_refused", "已拒绝 (refused)"},
    {"installed", "成功"},
    {"failed", "失败"},
    {"stopped", "停止"},
    {"station_faults", "工位故障 (station fault)"},
    {"yield", "首次通过率 (FPY)"},
    {"line", "全线"},
    {"shift", "本班"},
    {"last_hour", "最近一小时产量 (boards per hour)"},
    {"pools", "号码池 (pools)"},
    {"pool_macs", "MAC 地址"},
    {"pool_factory", "出厂编号"},
    {"pool_reg", "注册编号"},
    {"left", "剩余"},
    {"time_left", "按当前速度可用"},
    {"hours", "小时"},
    {"pool_warn", "号码池即将用完 (pool running low)"},
    {"record_away", "生产记录暂时无法访问，显示的是上次的数据 (record unreachable)"},
    {"updated", "更新于"},
    {"day", "日期"},
    {"shift_no", "班次"},
    {"whole_day", "全天"},
    {"all_stations", "全部工位"},
    {"show", "查询"},
    {"reason", "原因 (reason)"},
    {"count", "次数"},
    {"cumulative", "累计 %"},
    {"boards", "单板"},
    {"no_failures", "没有失败"},
    {"search_hint", "MAC / 出厂编号 / 注册编号"},
    {"not_found", "未找到该单板 (not found)"},
    {"refused_value", "无效的查询值 (not a valid value)"},
    {"jobs", "作业记录 (jobs)"},
    {"start", "开始"},
    {"end", "结束"},
    {"verdict", "结果"},
    {"times", "各阶段时间 (bring-up / console / transfer)"},
    {"images", "镜像 (SHA-256)"},
    {"log_file", "日志文件"},
    {"holds", "占用 (holds)"},
    {"installed_values", "已安装的值"},
    {"reflash", "重新烧写 (re-flash)"},
    {"page_not_found", "页面不存在 (404 not found)"},
    {"bad_request", "请求无效 (bad request)"},
    {"bad_span", "时间范围无效：需要 YYYY-MM-DD 或 YYYY-MM-DD HH:MM，最长一天 (a day at most)"},
    {"record_unreachable", "生产记录无法访问 (record unreachable)"},
};

}  // namespace

const char* LineText(const std::string& strKey)
{
    for (const Text& text : kTexts)
        if (strKey == text.szKey)
            return text.szText;
    return "";
}

std::string LineTextsScript()
{
    nlohmann::ordered_json texts = nlohmann::ordered_json::object();
    for (const Text& text : kTexts)
        texts[text.szKey] = text.szText;
    return "const T = " + texts.dump() + ";\n";
}
