// The port switcher's temp file as found on the disk.
#include <cstddef>
#include <cstdint>

#include "portswitch/plug_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (HoldsZeroByte(text)) return 0;
    CStringList fields;
    SplitFields(text, &fields);
    int total = 0;
    for (POSITION pos = fields.GetHeadPosition(); pos;) total += fields.GetNext(pos).GetLength() + 1;
    if (total < text.GetLength()) __builtin_trap();  // every byte belongs to a field or a separator
    return 0;
}
