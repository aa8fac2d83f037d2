// The words of the console's logic (ui/) that the windows translate (console_text.h), each a whole
// run of Chinese characters as ui/ writes it. Listed here for the translation tools only.
#include <QtGlobal>

namespace {

[[maybe_unused]] const char* const kConsoleWords[] = {
    // stages and the stage clock
    QT_TRANSLATE_NOOP("Console", "准备"), QT_TRANSLATE_NOOP("Console", "启动"), QT_TRANSLATE_NOOP("Console", "控制台"),
    QT_TRANSLATE_NOOP("Console", "下载"), QT_TRANSLATE_NOOP("Console", "还剩"), QT_TRANSLATE_NOOP("Console", "秒"),
    QT_TRANSLATE_NOOP("Console", "超时"), QT_TRANSLATE_NOOP("Console", "请检查串口线和电源"),
    QT_TRANSLATE_NOOP("Console", "然后按终止"),
    // the transfer's status line
    QT_TRANSLATE_NOOP("Console", "用时"), QT_TRANSLATE_NOOP("Console", "剩余"), QT_TRANSLATE_NOOP("Console", "重发"),
    // verdict banners
    QT_TRANSLATE_NOOP("Console", "成功"), QT_TRANSLATE_NOOP("Console", "失败"), QT_TRANSLATE_NOOP("Console", "部分安装"),
    QT_TRANSLATE_NOOP("Console", "未开始"), QT_TRANSLATE_NOOP("Console", "已终止"),
    QT_TRANSLATE_NOOP("Console", "号码冲突"), QT_TRANSLATE_NOOP("Console", "此板的号码已在另一块板上"),
    QT_TRANSLATE_NOOP("Console", "请将电路板放到不良品区并联系工程师"), QT_TRANSLATE_NOOP("Console", "未记录"),
    QT_TRANSLATE_NOOP("Console", "生产记录和备份都未保存此板"), QT_TRANSLATE_NOOP("Console", "请联系工程师"),
    // fields, counts and questions
    QT_TRANSLATE_NOOP("Console", "自动编号"), QT_TRANSLATE_NOOP("Console", "本班"), QT_TRANSLATE_NOOP("Console", "停止"),
    QT_TRANSLATE_NOOP("Console", "此电路板已安装过"), QT_TRANSLATE_NOOP("Console", "工位"),
    QT_TRANSLATE_NOOP("Console", "确定要重新安装吗"),
    QT_TRANSLATE_NOOP("Console", "配置文件缺失"), QT_TRANSLATE_NOOP("Console", "配置文件无法读取"),
    // the engineer's lock
    QT_TRANSLATE_NOOP("Console", "请输入工程师密码"), QT_TRANSLATE_NOOP("Console", "工程师密码错误"),
    QT_TRANSLATE_NOOP("Console", "设置未打开"),
};

}  // namespace
