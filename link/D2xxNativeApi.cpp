#include "link/D2xxNativeApi.h"

#ifdef _WIN32

#include <chrono>
#include <cstring>
#include <thread>

#ifndef NOMINMAX  // mingw's C++ headers define it already
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// The library's calls as the D2XX Programmer's Guide declares them: FT_STATUS
// and DWORD are 32-bit, FT_HANDLE a pointer; WINAPI is the calling convention.
using FtHandle = void*;
using FtStatus = ULONG;

struct Functions {
    FtStatus(WINAPI* createDeviceInfoList)(DWORD* count) = nullptr;
    FtStatus(WINAPI* getDeviceInfoList)(void* nodes, DWORD* count) = nullptr;
    FtStatus(WINAPI* openEx)(void* argument, DWORD flags, FtHandle* handle) = nullptr;
    FtStatus(WINAPI* open)(int index, FtHandle* handle) = nullptr;
    FtStatus(WINAPI* close)(FtHandle handle) = nullptr;
    FtStatus(WINAPI* resetDevice)(FtHandle handle) = nullptr;
    FtStatus(WINAPI* setUsbParameters)(FtHandle handle, ULONG inSize, ULONG outSize) = nullptr;
    FtStatus(WINAPI* setTimeouts)(FtHandle handle, ULONG readMs, ULONG writeMs) = nullptr;
    FtStatus(WINAPI* setLatencyTimer)(FtHandle handle, UCHAR milliseconds) = nullptr;
    FtStatus(WINAPI* purge)(FtHandle handle, ULONG mask) = nullptr;
    FtStatus(WINAPI* setBitMode)(FtHandle handle, UCHAR mask, UCHAR mode) = nullptr;
    FtStatus(WINAPI* write)(FtHandle handle, void* buffer, DWORD size, DWORD* written) = nullptr;
    FtStatus(WINAPI* read)(FtHandle handle, void* buffer, DWORD size, DWORD* received) = nullptr;
    FtStatus(WINAPI* getQueueStatus)(FtHandle handle, DWORD* waiting) = nullptr;
    FtStatus(WINAPI* getDriverVersion)(FtHandle handle, DWORD* version) = nullptr;
    FtStatus(WINAPI* getLibraryVersion)(DWORD* version) = nullptr;
};

static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4, "FT_STATUS and DWORD are 32-bit");

class CD2xxNativeApi : public CD2xxApi {
public:
    CD2xxNativeApi(HMODULE library, const Functions& functions) : m_library(library), m_f(functions) {}
    ~CD2xxNativeApi() override { FreeLibrary(m_library); }
    CD2xxNativeApi(const CD2xxNativeApi&) = delete;
    CD2xxNativeApi& operator=(const CD2xxNativeApi&) = delete;

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override
    {
        DWORD n = 0;
        const FtStatus status = m_f.createDeviceInfoList(&n);
        *count = n;
        return status;
    }
    d2xx::Status GetDeviceInfoList(uint8_t* nodes, uint32_t* count) override
    {
        DWORD n = *count;
        const FtStatus status = m_f.getDeviceInfoList(nodes, &n);
        *count = n;
        return status;
    }
    d2xx::Status OpenBySerial(const std::string& serial, Handle* handle) override
    {
        std::string text = serial;  // the call takes a writable pointer
        return m_f.openEx(text.data(), d2xx::kOpenBySerialNumber, handle);
    }
    d2xx::Status OpenByIndex(int index, Handle* handle) override { return m_f.open(index, handle); }
    d2xx::Status Close(Handle handle) override { return m_f.close(handle); }
    d2xx::Status ResetDevice(Handle handle) override { return m_f.resetDevice(handle); }
    d2xx::Status SetUsbParameters(Handle handle, uint32_t inSize, uint32_t outSize) override
    {
        return m_f.setUsbParameters(handle, inSize, outSize);
    }
    d2xx::Status SetTimeouts(Handle handle, uint32_t readMs, uint32_t writeMs) override
    {
        return m_f.setTimeouts(handle, readMs, writeMs);
    }
    d2xx::Status SetLatencyTimer(Handle handle, uint8_t milliseconds) override
    {
        return m_f.setLatencyTimer(handle, milliseconds);
    }
    d2xx::Status Purge(Handle handle, uint32_t mask) override { return m_f.purge(handle, mask); }
    d2xx::Status SetBitMode(Handle handle, uint8_t mask, uint8_t mode) override
    {
        return m_f.setBitMode(handle, mask, mode);
    }
    d2xx::Status Write(Handle handle, const uint8_t* data, uint32_t size, uint32_t* written) override
    {
        DWORD n = 0;
        const FtStatus status = m_f.write(handle, const_cast<uint8_t*>(data), size, &n);
        *written = n;
        return status;
    }
    d2xx::Status Read(Handle handle, uint8_t* data, uint32_t size, uint32_t* received) override
    {
        DWORD n = 0;
        const FtStatus status = m_f.read(handle, data, size, &n);
        *received = n;
        return status;
    }
    d2xx::Status GetQueueStatus(Handle handle, uint32_t* waiting) override
    {
        DWORD n = 0;
        const FtStatus status = m_f.getQueueStatus(handle, &n);
        *waiting = n;
        return status;
    }
    d2xx::Status GetDriverVersion(Handle handle, uint32_t* version) override
    {
        DWORD v = 0;
        const FtStatus status = m_f.getDriverVersion(handle, &v);
        *version = v;
        return status;
    }
    d2xx::Status GetLibraryVersion(uint32_t* version) override
    {
        DWORD v = 0;
        const FtStatus status = m_f.getLibraryVersion(&v);
        *version = v;
        return status;
    }

    uint64_t NowMicroseconds() override
    {
        return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
    }
    void SleepMicroseconds(uint32_t microseconds) override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    }

private:
    HMODULE m_library;
    Functions m_f;
};

// A function of the library by its name; false when it has none.
template <typename F>
bool Resolve(HMODULE library, const char* name, F* function, std::string* missing)
{
    const FARPROC address = GetProcAddress(library, name);
    if (address == nullptr) {
        if (missing->empty())
            *missing = name;
        return false;
    }
    static_assert(sizeof(F) == sizeof(address));
    std::memcpy(function, &address, sizeof(F));
    return true;
}

std::unique_ptr<CD2xxApi> Bind(HMODULE library, std::string* failure)
{
    Functions f;
    std::string missing;
    Resolve(library, "FT_CreateDeviceInfoList", &f.createDeviceInfoList, &missing);
    Resolve(library, "FT_GetDeviceInfoList", &f.getDeviceInfoList, &missing);
    Resolve(library, "FT_OpenEx", &f.openEx, &missing);
    Resolve(library, "FT_Open", &f.open, &missing);
    Resolve(library, "FT_Close", &f.close, &missing);
    Resolve(library, "FT_ResetDevice", &f.resetDevice, &missing);
    Resolve(library, "FT_SetUSBParameters", &f.setUsbParameters, &missing);
    Resolve(library, "FT_SetTimeouts", &f.setTimeouts, &missing);
    Resolve(library, "FT_SetLatencyTimer", &f.setLatencyTimer, &missing);
    Resolve(library, "FT_Purge", &f.purge, &missing);
    Resolve(library, "FT_SetBitMode", &f.setBitMode, &missing);
    Resolve(library, "FT_Write", &f.write, &missing);
    Resolve(library, "FT_Read", &f.read, &missing);
    Resolve(library, "FT_GetQueueStatus", &f.getQueueStatus, &missing);
    Resolve(library, "FT_GetDriverVersion", &f.getDriverVersion, &missing);
    Resolve(library, "FT_GetLibraryVersion", &f.getLibraryVersion, &missing);
    if (!missing.empty()) {
        FreeLibrary(library);
        *failure = "the ftd2xx.dll found has no " + missing + ": it is too old";
        return nullptr;
    }
    return std::make_unique<CD2xxNativeApi>(library, f);
}

std::string LoadError(DWORD error)
{
    if (error == ERROR_MOD_NOT_FOUND)
        return "it is not in the Windows system folder";
    if (error == ERROR_BAD_EXE_FORMAT)
        return std::string("the ftd2xx.dll in the system folder is not a ") + (sizeof(void*) == 8 ? "64" : "32") +
               "-bit library";
    return "Windows error " + std::to_string(error) + " loading it";
}

}  // namespace

std::unique_ptr<CD2xxApi> LoadSystemD2xxLibrary(std::string* failure)
{
    const HMODULE library = LoadLibraryExW(L"ftd2xx.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        *failure = LoadError(GetLastError());
        return nullptr;
    }
    return Bind(library, failure);
}

std::unique_ptr<CD2xxApi> LoadD2xxLibraryFrom(const std::filesystem::path& file, std::string* failure)
{
    // A full path: the library's own imports are looked up beside it.
    const HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        *failure = "Windows error " + std::to_string(GetLastError()) + " loading the library";
        return nullptr;
    }
    return Bind(library, failure);
}

#endif
