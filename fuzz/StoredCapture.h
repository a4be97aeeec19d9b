#pragma once
#include "capture/CaptureInfo.h"
#include "report/StoredForm.h"

#include <string>

namespace halvetrop::fuzz {

// A report stores every capture it holds: the stored text must read back, and what was read must
// write back unchanged (instants settle to the microsecond, texts to valid UTF-8, on first read).
inline void expectStoredFormSettles(const CaptureInfo& info) {
    const CaptureInfo once = fromStoredJson<CaptureInfo>(toStoredJson(info));
    const std::string text = toStoredJson(once);
    const CaptureInfo twice = fromStoredJson<CaptureInfo>(text);
    if (!(twice == once) || toStoredJson(twice) != text) __builtin_trap();
}

}  // namespace halvetrop::fuzz
