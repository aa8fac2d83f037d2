#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <functional>
#include <memory>

constexpr int SCAN_MAX_DEVICES = 10;
constexpr int DEVICE_NAME_SIZE = 100;

// The monitor's two links: the DBGU serial line (XMODEM blocks, the applet's 0x06 at its end) and
// its USB device port, a CDC port on the host (raw blocks, no baud rate).
enum class MonitorLink { Serial, Usb };

// What stands behind the boot-monitor wrapper: the real serial monitor, or a simulated board.
// Results come back through the reference parameters; an error word of 0 means success.
class IAt91Backend {
public:
    virtual ~IAt91Backend() = default;
    virtual void CloseDevice(int32_t hDevice) = 0;
    virtual void OpenDevice(const char* szName, int32_t& hDevice) = 0;
    virtual void WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                            int32_t& nError) = 0;
    virtual void ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError) = 0;
    virtual void ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize,
                           int32_t& nError) = 0;
    virtual void Jump(int32_t hDevice, int32_t nAddress, int32_t& nError) = 0;
    // Fills the caller's 10 buffers of 100 bytes from the first on with "COMn..." names;
    // the entry after the last device is set to null.
    virtual void ScanDevices(char* szDevices[SCAN_MAX_DEVICES]) = 0;

    // Waits of later calls end early while *pCancel is set (null: never). Before OpenDevice.
    virtual void SetCancelFlag(const std::atomic<int>* pCancel) { (void)pCancel; }
    // Before OpenDevice: the name given to it is the monitor's USB port (a COM name, a device path
    // or usb:<bus>-<port path>), which is waited for up to nAppearWaitMs as it exists only while the
    // board sits in its ROM monitor. A backend without such a port ignores it.
    virtual void SetUsbLink(int nAppearWaitMs) { (void)nAppearWaitMs; }
    // An error word in words, for the log.
    virtual std::string ErrorText(int32_t nError) const;
    // Why the last OpenDevice gave no handle; empty when unknown.
    virtual std::string LastOpenError() const { return {}; }
};

// Makes a new backend instance each time a wrapper is bound.
using At91BackendFactory = std::function<std::unique_ptr<IAt91Backend>()>;
