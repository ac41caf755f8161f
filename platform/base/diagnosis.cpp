#include "platform/base/diagnosis.h"

#include <utility>

namespace {
thread_local std::string t_strDiagnosis;
}

namespace platform::diagnosis {

void Set(std::string text) { t_strDiagnosis = std::move(text); }

void Clear() { t_strDiagnosis.clear(); }

std::string Take() { return std::exchange(t_strDiagnosis, std::string()); }

}  // namespace platform::diagnosis
