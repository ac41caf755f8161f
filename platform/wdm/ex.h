// Executive pool and debugger output.
#pragma once

#include "platform/wdm/nt_types.h"

enum POOL_TYPE { NonPagedPool = 0, PagedPool = 1 };

// Returns the block, or NULL when the pool is exhausted (or a failure is injected).
PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag);
// Frees a block from ExAllocatePoolWithTag; freeing anything else aborts.
void ExFreePool(PVOID block);

// Formats like printf and sends the text to the kernel debugger; returns STATUS_SUCCESS.
ULONG DbgPrint(PCSZ format, ...);
