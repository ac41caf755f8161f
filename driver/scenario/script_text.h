// Reading script lines and writing what the scenario runner prints.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/wdm/nt_types.h"

namespace scenario {

// The largest buffer a script line may ask for; a longer one is refused.
constexpr ULONG kMaxBufferLength = 1u << 20;

std::string Hex32(ULONG value);
// "0xXXXXXXXX NAME", the name when the status is one the driver deals in.
std::string StatusText(NTSTATUS status);
// Hex digits of the first count bytes, with the text when all are printable.
std::string DataText(const std::vector<BYTE>& data, size_t count);
// Decimal or 0x hex; false for anything else.
bool ParseNumber(const std::string& text, ULONG* value);
// Bytes as a quoted "text", hex digits, or COUNT*HEXBYTE; false when
// malformed or longer than kMaxBufferLength.
bool ParseBytes(const std::string& text, std::vector<BYTE>* bytes);
// key=value options (a bare word maps to "") from words[from] on.
std::map<std::string, std::string> Options(const std::vector<std::string>& words, size_t from);
// A Plug and Play minor function by name or number.
bool PnpMinor(const std::string& name, UCHAR* minor);

}  // namespace scenario
