<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CGangTile</name>
    <message>
        <source>槽 %1   %2</source>
        <translation>Slot %1   %2</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>等待下一块板</source>
        <translation>Waiting for the next board</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>已结束</source>
        <translation>Ended</translation>
    </message>
    <message>
        <source>工位连续失败 %1 次, 请检查夹具</source>
        <translation>%1 failures in a row at this slot, check the fixture</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>串口不可用: %1</source>
        <translation>Serial port not usable: %1</translation>
    </message>
    <message>
        <source>成功 %1  失败 %2</source>
        <translation>Installed %1  Failed %2</translation>
    </message>
</context>
<context>
    <name>CGangWindow</name>
    <message>
        <source>Tovar — 多板安装</source>
        <translation>Tovar — gang station</translation>
    </message>
    <message>
        <source>全部开始</source>
        <translation>Start all</translation>
    </message>
    <message>
        <source>全部停止</source>
        <translation>Stop all</translation>
    </message>
    <message>
        <source>连续 (下一块板自动开始)</source>
        <translation>Continuous (the next board starts by itself)</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>%1 块板正在安装, 确定停止?</source>
        <translation>%1 boards are being installed. Stop them?</translation>
    </message>
    <message>
        <source>停止并退出</source>
        <translation>Stop and exit</translation>
    </message>
    <message>
        <source>继续安装</source>
        <translation>Go on installing</translation>
    </message>
    <message>
        <source>本班: 成功 %1   失败 %2</source>
        <translation>This shift: installed %1   failed %2</translation>
    </message>
</context>
<context>
    <name>CPinDialog</name>
    <message>
        <source>工程师设置</source>
        <translation>Engineer settings</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CTovarWindow</name>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>监控口</source>
        <translation>Monitor port</translation>
    </message>
    <message>
        <source>同一串口</source>
        <translation>Same serial port</translation>
    </message>
    <message>
        <source>重新安装</source>
        <translation>Install again</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>准备</source>
        <translation>Preparing</translation>
    </message>
    <message>
        <source>启动</source>
        <translation>Bring-up</translation>
    </message>
    <message>
        <source>控制台</source>
        <translation>Console</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Transfer</translation>
    </message>
    <message>
        <source>还剩</source>
        <translation>left</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Timed out</translation>
    </message>
    <message>
        <source>请检查串口线和电源</source>
        <translation>check the serial cable and the power</translation>
    </message>
    <message>
        <source>然后按终止</source>
        <translation>then press 终止</translation>
    </message>
    <message>
        <source>用时</source>
        <translation>Elapsed</translation>
    </message>
    <message>
        <source>剩余</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>重发</source>
        <translation>Resends</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Installed</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>部分安装</source>
        <translation>Partly installed</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>已终止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>号码冲突</source>
        <translation>Number conflict</translation>
    </message>
    <message>
        <source>此板的号码已在另一块板上</source>
        <translation>this board&apos;s numbers are on another board already</translation>
    </message>
    <message>
        <source>请将电路板放到不良品区并联系工程师</source>
        <translation>put the board with the rejects and call the engineer</translation>
    </message>
    <message>
        <source>未记录</source>
        <translation>Not recorded</translation>
    </message>
    <message>
        <source>生产记录和备份都未保存此板</source>
        <translation>neither the production record nor its backup kept this board</translation>
    </message>
    <message>
        <source>请联系工程师</source>
        <translation>call the engineer</translation>
    </message>
    <message>
        <source>自动编号</source>
        <translation>Auto numbers</translation>
    </message>
    <message>
        <source>本班</source>
        <translation>This shift</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>此电路板已安装过</source>
        <translation>This board was installed before</translation>
    </message>
    <message>
        <source>工位</source>
        <translation>station</translation>
    </message>
    <message>
        <source>确定要重新安装吗</source>
        <translation>Install it again</translation>
    </message>
    <message>
        <source>配置文件缺失</source>
        <translation>Configuration file missing</translation>
    </message>
    <message>
        <source>配置文件无法读取</source>
        <translation>Configuration file cannot be read</translation>
    </message>
    <message>
        <source>请输入工程师密码</source>
        <translation>Enter the engineer&apos;s PIN</translation>
    </message>
    <message>
        <source>工程师密码错误</source>
        <translation>Wrong engineer&apos;s PIN</translation>
    </message>
    <message>
        <source>设置未打开</source>
        <translation>the settings stay closed</translation>
    </message>
</context>
</TS>
