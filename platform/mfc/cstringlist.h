// The framework's list of strings: a doubly linked list walked with POSITION
// values, which stay valid until their element is removed.
#pragma once

#include "platform/mfc/cstring.h"

struct PositionTag;
using POSITION = PositionTag*;

class CStringList {
public:
    CStringList() = default;
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;
    ~CStringList();

    int GetCount() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    // Each returns the position of the new element.
    POSITION AddHead(const char* psz);
    POSITION AddTail(const char* psz);

    // NULL for an empty list.
    POSITION GetHeadPosition() const;
    // The element at rPosition; rPosition moves to the next one, NULL after the tail.
    CString& GetNext(POSITION& rPosition);
    const CString& GetNext(POSITION& rPosition) const;

    void RemoveAll();

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        CString data;
    };
    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    int m_nCount = 0;
};
