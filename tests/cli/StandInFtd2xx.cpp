// A stand-in for FTDI's ftd2xx.dll made from the simulated cable and board,
// for the Windows tests only: they load it by its full path, and the D2XX
// backend runs end to end on it through the real loader, calls and 64-bit
// list nodes. It exports the calls the backend makes, each answered by
// scripted_d2xx::SimulatedD2xx. Every load starts a fresh demonstration board.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "tests/link/ScriptedD2xx.h"

namespace {

scripted_d2xx::SimulatedD2xx& Library()
{
    static scripted_d2xx::SimulatedD2xx library(CSimulatedBoard::CreateDefault());
    return library;
}

using FtHandle = void*;
using FtStatus = ULONG;

}  // namespace

#define STAND_IN extern "C" __declspec(dllexport) FtStatus WINAPI

STAND_IN FT_CreateDeviceInfoList(DWORD* count)
{
    if (count == nullptr) return d2xx::kInvalidParameter;
    uint32_t n = 0;
    const FtStatus status = Library().CreateDeviceInfoList(&n);
    *count = n;
    return status;
}

STAND_IN FT_GetDeviceInfoList(void* nodes, DWORD* count)
{
    if (nodes == nullptr || count == nullptr) return d2xx::kInvalidParameter;
    uint32_t n = *count;
    const FtStatus status = Library().GetDeviceInfoList(static_cast<uint8_t*>(nodes), &n);
    *count = n;
    return status;
}

STAND_IN FT_OpenEx(void* argument, DWORD flags, FtHandle* handle)
{
    if (argument == nullptr || handle == nullptr || flags != d2xx::kOpenBySerialNumber) return d2xx::kInvalidParameter;
    return Library().OpenBySerial(static_cast<const char*>(argument), handle);
}

STAND_IN FT_Open(int index, FtHandle* handle)
{
    if (handle == nullptr) return d2xx::kInvalidParameter;
    return Library().OpenByIndex(index, handle);
}

STAND_IN FT_Close(FtHandle handle)
{
    return Library().Close(handle);
}

STAND_IN FT_ResetDevice(FtHandle handle)
{
    return Library().ResetDevice(handle);
}

STAND_IN FT_SetUSBParameters(FtHandle handle, ULONG inSize, ULONG outSize)
{
    return Library().SetUsbParameters(handle, inSize, outSize);
}

STAND_IN FT_SetTimeouts(FtHandle handle, ULONG readMs, ULONG writeMs)
{
    return Library().SetTimeouts(handle, readMs, writeMs);
}

STAND_IN FT_SetLatencyTimer(FtHandle handle, UCHAR milliseconds)
{
    return Library().SetLatencyTimer(handle, milliseconds);
}

STAND_IN FT_Purge(FtHandle handle, ULONG mask)
{
    return Library().Purge(handle, mask);
}

STAND_IN FT_SetBitMode(FtHandle handle, UCHAR mask, UCHAR mode)
{
    return Library().SetBitMode(handle, mask, mode);
}

STAND_IN FT_Write(FtHandle handle, void* buffer, DWORD size, DWORD* written)
{
    if (written == nullptr || (buffer == nullptr && size > 0)) return d2xx::kInvalidParameter;
    uint32_t n = 0;
    const FtStatus status = Library().Write(handle, static_cast<const uint8_t*>(buffer), size, &n);
    *written = n;
    return status;
}

STAND_IN FT_Read(FtHandle handle, void* buffer, DWORD size, DWORD* received)
{
    if (received == nullptr || (buffer == nullptr && size > 0)) return d2xx::kInvalidParameter;
    uint32_t n = 0;
    const FtStatus status = Library().Read(handle, static_cast<uint8_t*>(buffer), size, &n);
    *received = n;
    return status;
}

STAND_IN FT_GetQueueStatus(FtHandle handle, DWORD* waiting)
{
    if (waiting == nullptr) return d2xx::kInvalidParameter;
    uint32_t n = 0;
    const FtStatus status = Library().GetQueueStatus(handle, &n);
    *waiting = n;
    return status;
}

STAND_IN FT_GetDriverVersion(FtHandle handle, DWORD* version)
{
    if (version == nullptr) return d2xx::kInvalidParameter;
    uint32_t v = 0;
    const FtStatus status = Library().GetDriverVersion(handle, &v);
    *version = v;
    return status;
}

STAND_IN FT_GetLibraryVersion(DWORD* version)
{
    if (version == nullptr) return d2xx::kInvalidParameter;
    uint32_t v = 0;
    const FtStatus status = Library().GetLibraryVersion(&v);
    *version = v;
    return status;
}
