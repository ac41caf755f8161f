#include "platform/mfc/cstringlist.h"

CStringList::~CStringList() { RemoveAll(); }

POSITION CStringList::AddHead(const char* psz) {
    CNode* pNode = new CNode{m_pNodeHead, nullptr, CString(psz)};
    if (m_pNodeHead) m_pNodeHead->pPrev = pNode;
    else m_pNodeTail = pNode;
    m_pNodeHead = pNode;
    ++m_nCount;
    return reinterpret_cast<POSITION>(pNode);
}

POSITION CStringList::AddTail(const char* psz) {
    CNode* pNode = new CNode{nullptr, m_pNodeTail, CString(psz)};
    if (m_pNodeTail) m_pNodeTail->pNext = pNode;
    else m_pNodeHead = pNode;
    m_pNodeTail = pNode;
    ++m_nCount;
    return reinterpret_cast<POSITION>(pNode);
}

POSITION CStringList::GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }

CString& CStringList::GetNext(POSITION& rPosition) {
    CNode* pNode = reinterpret_cast<CNode*>(rPosition);
    rPosition = reinterpret_cast<POSITION>(pNode->pNext);
    return pNode->data;
}

const CString& CStringList::GetNext(POSITION& rPosition) const {
    const CNode* pNode = reinterpret_cast<const CNode*>(rPosition);
    rPosition = reinterpret_cast<POSITION>(pNode->pNext);
    return pNode->data;
}

void CStringList::RemoveAll() {
    while (m_pNodeHead) {
        CNode* pNext = m_pNodeHead->pNext;
        delete m_pNodeHead;
        m_pNodeHead = pNext;
    }
    m_pNodeTail = nullptr;
    m_nCount = 0;
}
