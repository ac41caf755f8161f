// Kernel scalar types, NTSTATUS and the status codes drivers of this system meet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/win_types.h"

// The kernel's calling convention; Linux has only one.
#define NTAPI

using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using CSHORT = std::int16_t;
using CCHAR = char;
using BOOLEAN = std::uint8_t;
using PVOID = void*;
using PUCHAR = UCHAR*;
using PUSHORT = USHORT*;
using PULONG = ULONG*;
using PLONG = LONG*;
using WCHAR = char16_t;
using PWCHAR = WCHAR*;
using PWSTR = WCHAR*;
using PCSZ = const char*;
using NTSTATUS = LONG;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using KPROCESSOR_MODE = CCHAR;

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

constexpr NTSTATUS STATUS_SUCCESS = 0x00000000;
constexpr NTSTATUS STATUS_TIMEOUT = 0x00000102;
constexpr NTSTATUS STATUS_PENDING = 0x00000103;
constexpr NTSTATUS STATUS_DEVICE_BUSY = static_cast<NTSTATUS>(0x80000011);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = static_cast<NTSTATUS>(0xC0000001);
constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS STATUS_NO_SUCH_DEVICE = static_cast<NTSTATUS>(0xC000000E);
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = static_cast<NTSTATUS>(0xC0000010);
constexpr NTSTATUS STATUS_NO_MEDIA_IN_DEVICE = static_cast<NTSTATUS>(0xC0000013);
constexpr NTSTATUS STATUS_MORE_PROCESSING_REQUIRED = static_cast<NTSTATUS>(0xC0000016);
constexpr NTSTATUS STATUS_NO_MEMORY = static_cast<NTSTATUS>(0xC0000017);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS STATUS_DELETE_PENDING = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = static_cast<NTSTATUS>(0xC000009A);
constexpr NTSTATUS STATUS_DEVICE_DATA_ERROR = static_cast<NTSTATUS>(0xC000009C);
constexpr NTSTATUS STATUS_DEVICE_NOT_CONNECTED = static_cast<NTSTATUS>(0xC000009D);
constexpr NTSTATUS STATUS_NOT_SUPPORTED = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS STATUS_CANCELLED = static_cast<NTSTATUS>(0xC0000120);
constexpr NTSTATUS STATUS_DEVICE_CONFIGURATION_ERROR = static_cast<NTSTATUS>(0xC0000182);
constexpr NTSTATUS STATUS_INVALID_BUFFER_SIZE = static_cast<NTSTATUS>(0xC0000206);

struct UNICODE_STRING {
    USHORT Length;         // bytes, without the terminating zero
    USHORT MaximumLength;  // bytes of Buffer
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;

// Describes a zero-terminated text (Buffer NULL gives an empty string).
void RtlInitUnicodeString(PUNICODE_STRING destination, const WCHAR* source);

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

constexpr KPROCESSOR_MODE KernelMode = 0;
constexpr KPROCESSOR_MODE UserMode = 1;
