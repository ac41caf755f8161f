// Bytes from a network serial peer, fed in pieces of any size.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/serial/telnet_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::telnet::CTelnetParser whole, pieces;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    whole.Feed(bytes);
    std::size_t step = size ? 1 + data[0] % 7 : 1;
    for (std::size_t at = 0; at < size; at += step) pieces.Feed(bytes.substr(at, step));
    return 0;
}
