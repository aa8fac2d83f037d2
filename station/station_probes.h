#pragma once
#include <cstdint>
#include <string>

// Looks at what a job will need without sending anything to a board. Each gives false with the
// reason in words.

// A regular file this user can open for reading; nSize receives its size.
bool ProbeReadableFile(const std::string& strPath, uint64_t& nSize, std::string& strWhy);

// Opens the serial device as a job would (115200 8N1, with its advisory lock) and closes it:
// a device held by another process, without permission or not a terminal is refused.
bool ProbeSerialPort(const std::string& strPath, std::string& strWhy);

// Binds a UDP socket to nLocalPort (0: any) as the transfer does (strBind: empty for all
// interfaces, an interface name or a local address) and closes it.
bool ProbeUdpBind(int nLocalPort, const std::string& strBind, std::string& strWhy);

// The local address a socket bound to strBind would send from to strIp:nPort (a connected UDP
// socket; no datagram is sent).
bool ProbeRoute(const std::string& strIp, int nPort, const std::string& strBind, std::string& strLocalIp,
                std::string& strWhy);

// ins.txt: a regular file, not a symbolic link, that this user may write and that no other Tovar
// holds locked. Nothing is written.
bool ProbeManifestFile(const std::string& strPath, std::string& strWhy);
