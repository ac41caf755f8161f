#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/wdm/ex.h"
#include "platform/wdm/wdm_test.h"

namespace {

struct Block {
    ULONG nTag;
    SIZE_T nBytes;
};

struct TagCount {
    long nBlocks = 0;
    SIZE_T nBytes = 0;
};

std::mutex g_poolLock;
std::unordered_map<void*, Block> g_blocks;
std::map<ULONG, TagCount> g_tags;
long g_nCounted = 0;
long g_nFailAt = 0;  // counted allocation that fails, 0 for none

std::mutex g_debugLock;
std::vector<std::string> g_debugLines;

PVOID Allocate(SIZE_T bytes, ULONG tag) {
    // Zero-byte blocks still get an address of their own, as pool does.
    void* p = std::malloc(bytes ? bytes : 1);
    if (!p) return nullptr;
    std::lock_guard<std::mutex> lk(g_poolLock);
    g_blocks[p] = Block{tag, bytes};
    auto& count = g_tags[tag];
    count.nBlocks++;
    count.nBytes += bytes;
    return p;
}

}  // namespace

namespace platform::wdm {

namespace {
thread_local bool t_bSystemScope = false;
}

CSystemAllocationScope::CSystemAllocationScope() : m_bOuter(t_bSystemScope) { t_bSystemScope = true; }
CSystemAllocationScope::~CSystemAllocationScope() { t_bSystemScope = m_bOuter; }

bool TakeInjectedFailure() {
    if (t_bSystemScope) return false;
    std::lock_guard<std::mutex> lk(g_poolLock);
    return ++g_nCounted == g_nFailAt;
}

void FailAllocation(long nth) {
    std::lock_guard<std::mutex> lk(g_poolLock);
    g_nFailAt = nth > 0 ? g_nCounted + nth : 0;
}

long AllocationsCounted() {
    std::lock_guard<std::mutex> lk(g_poolLock);
    return g_nCounted;
}

PVOID AllocateSystemPool(SIZE_T bytes, ULONG tag) { return Allocate(bytes, tag); }

std::vector<PoolTagBalance> PoolBalance() {
    std::lock_guard<std::mutex> lk(g_poolLock);
    std::vector<PoolTagBalance> out;
    for (auto& [tag, count] : g_tags) out.push_back({tag, count.nBlocks, count.nBytes});
    return out;
}

std::string TagText(ULONG tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::vector<std::string> TakeDebugLines() {
    std::lock_guard<std::mutex> lk(g_debugLock);
    std::vector<std::string> out;
    out.swap(g_debugLines);
    return out;
}

}  // namespace platform::wdm

PVOID ExAllocatePoolWithTag(POOL_TYPE, SIZE_T bytes, ULONG tag) {
    if (platform::wdm::TakeInjectedFailure()) return nullptr;
    return Allocate(bytes, tag);
}

void ExFreePool(PVOID block) {
    {
        std::lock_guard<std::mutex> lk(g_poolLock);
        auto it = g_blocks.find(block);
        if (it == g_blocks.end()) {
            std::fprintf(stderr, "kernel stand-in: ExFreePool of %p, which is no pool block\n", block);
            std::abort();
        }
        auto& count = g_tags[it->second.nTag];
        count.nBlocks--;
        count.nBytes -= it->second.nBytes;
        g_blocks.erase(it);
    }
    std::free(block);
}

ULONG DbgPrint(PCSZ format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lk(g_debugLock);
    g_debugLines.emplace_back(text);
    return STATUS_SUCCESS;
}
