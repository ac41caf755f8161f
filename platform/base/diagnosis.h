// What the platform has to tell a person about the calling thread's last
// failed or doubtful call, beyond its error code: why a port would not open,
// or that an open port's device shows no sign of life. The next message box
// the thread shows carries it as its details, so that a program whose own
// text says only "error" still lets its user find out why.
#pragma once

#include <string>

namespace platform::diagnosis {

// Replaces the calling thread's diagnosis.
void Set(std::string text);
// Withdraws it: the matter it spoke of is settled.
void Clear();
// The calling thread's diagnosis ("" when there is none), withdrawn.
std::string Take();

}  // namespace platform::diagnosis
