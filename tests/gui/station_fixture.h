#pragma once
#include <string>

#include "support/temp_dir.h"

// A working folder as a station has it: config.cfg naming four images, the images, an existing
// ins.txt and the board-side applet and boot loader.
inline void WriteStation(const CTempDir& dir)
{
    dir.Write("KX30T/config.cfg",
              "[COUNT]\r\ncount=4\r\n[Startup]\r\nid=1\r\nname=uboot.bin\r\n[Download]\r\nid=2\r\nname=uImage\r\n"
              "[UserProc]\r\nid=3\r\nname=rootfs.jffs2\r\n[INFO]\r\nid=4\r\nname=info.txt\r\n");
    for (const char* szName : {"uboot.bin", "uImage", "rootfs.jffs2", "info.txt"})
        dir.Write(std::string("KX30T/系统安装/") + szName, std::string(100, 'x'));
    dir.Write("KX30T/系统安装/ins.txt", "");
    dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", "applet");
    dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", "boot loader");
}
